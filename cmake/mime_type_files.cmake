# Writes OUTPUT, a desktop file that lists the MIME types `PROGRAM
# --mime-types` prints (the format table's), as KIND says:
#   thumbnailer  the freedesktop thumbnailer entry
#   metainfo     TEMPLATE with @MEDIA_TYPES@ and @VERSION@ filled in
execute_process(COMMAND ${PROGRAM} --mime-types OUTPUT_VARIABLE types RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR types STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --mime-types failed: ${status}")
endif()
string(STRIP "${types}" types)
string(REPLACE "\n" ";" types "${types}")
if(KIND STREQUAL "thumbnailer")
  file(WRITE ${OUTPUT} "[Thumbnailer Entry]\nTryExec=pictorand32-thumbnailer\n"
                       "Exec=pictorand32-thumbnailer -s %s %u %o\nMimeType=${types};\n")
else()
  set(MEDIA_TYPES "")
  foreach(type ${types})
    string(APPEND MEDIA_TYPES "    <mediatype>${type}</mediatype>\n")
  endforeach()
  string(STRIP "${MEDIA_TYPES}" MEDIA_TYPES)
  set(MEDIA_TYPES "    ${MEDIA_TYPES}")
  configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
endif()
