#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when
# they are all there already. Uses sudo when not run as root.
set -euo pipefail

# What building and running the programs takes: the compiler and build tools,
# the format and colour libraries, Qt with its multimedia (GStreamer and a
# soundfont for MIDI) and SANE.
packages=(
  build-essential cmake ninja-build pkg-config
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev libtiff-dev zlib1g-dev libdeflate-dev liblcms2-dev
  libwebp-dev libheif-dev libavif-dev libjxl-dev libqoi-dev
  qt6-base-dev
  libxcb1-dev
  libsane-dev
  libseccomp-dev
  qt6-multimedia-dev gstreamer1.0-plugins-good gstreamer1.0-plugins-bad timgm6mb-soundfont
)
if [ "${1:-}" = "--tests" ]; then
  # The test framework and benchmarks, and clang with its sanitizer and
  # libFuzzer runtimes for the sanitizer build and the fuzz targets.
  packages+=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev)
  # The independent tools the tests compare against, and a display server.
  # libwmf draws text only with the URW Type 1 fonts, which it merely
  # recommends; the colour tests use Ghostscript's ICC profiles.
  packages+=(imagemagick netpbm giflib-tools libtiff-tools libjpeg-turbo-progs liblcms2-utils python3 python3-pil
    pngcheck xvfb xauth webp libheif-examples libavif-bin libjxl-tools libgs-common fonts-urw-base35)
  # The desktop's own programs: another clipboard client, PDF rasteriser,
  # session bus, and the settings tools and schemas of the desktops.
  packages+=(xclip poppler-utils dbus libglib2.0-bin gsettings-desktop-schemas mate-desktop-common
    cinnamon-desktop-data xfconf libxfconf-0-3)
  # The desktop portal, with the backend that sets GNOME's wallpaper and the
  # gtk one, which has no wallpaper service as Debian builds it.
  packages+=(xdg-desktop-portal xdg-desktop-portal-gnome xdg-desktop-portal-gtk)
  # The scanner test device and its frontend, and xdg-mime.
  packages+=(sane-utils libsane1 xdg-utils)
  # The README's recipe for spreading a conversion over machines.
  packages+=(parallel)
  # libwmf's renderer, to check our metafile player against.
  packages+=(libwmf-bin)
  # A window manager and the X11 tools that read its properties, for the
  # viewer's frame and sizing under a real one.
  packages+=(openbox x11-utils)
  # A Wayland compositor, Qt's platform for it and the clipboard's command
  # line client, for the viewer under Wayland; xdotool moves and clicks the
  # pointer of the X server the compositor runs on.
  packages+=(weston qt6-wayland wl-clipboard xdotool)
  # What a file manager and a software centre read of an install: the MIME
  # database that names a file's type, AppStream's validator, and man.
  packages+=(shared-mime-info appstream man-db groff-base)
  # libvips' tools write the TIFF pyramids the thumbnail path reads.
  packages+=(libvips-tools)
  # The QOI fixtures' writer (qoiconv).
  packages+=(qoi)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
