# Compile options for the project's own targets. Third-party headers are
# included as system headers, so -Werror (PICTORAND_WERROR) only bites on our
# code.
add_library(pictorand_options INTERFACE)
target_compile_options(pictorand_options INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wimplicit-fallthrough)
if(PICTORAND_WERROR)
  target_compile_options(pictorand_options INTERFACE -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false positives on std::string/std::vector inlining at -O2.
  target_compile_options(pictorand_options INTERFACE -Wshadow=local -Wno-stringop-overflow -Wno-array-bounds -Wno-restrict -Wno-null-dereference)
else()
  target_compile_options(pictorand_options INTERFACE -Wshadow)
endif()

if(PICTORAND_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# pictorand_library(NAME SOURCES... [LINK ...]) : a static library of our own code.
function(pictorand_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK;PRIVATE_LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINK} PRIVATE pictorand_options ${ARG_PRIVATE_LINK})
endfunction()

if(PICTORAND_FUZZ)
  # Coverage instrumentation for everything the fuzz targets reach.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
