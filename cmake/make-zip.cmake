# Makes the distribution zip of the Windows build (run with cmake -P):
#   STRIP, EXE      the strip tool and the built executable
#   README          the readme text, UTF-8 with LF line ends
#   EXAMPLES        the examples directory (skipped when absent)
#   STAGE, ZIP      the staging directory and the zip to write
# The zip holds vokt.exe (stripped), readme.txt in Shift-JIS with CR LF line
# ends as Windows editors expect, and the example export and problems
# (examples/export/, examples/problems/), which are Shift-JIS already.
foreach(var STRIP EXE README EXAMPLES STAGE ZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-zip.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
file(REMOVE "${ZIP}")
file(MAKE_DIRECTORY "${STAGE}")

execute_process(COMMAND "${STRIP}" -o "${STAGE}/vokt.exe" "${EXE}" COMMAND_ERROR_IS_FATAL ANY)

file(READ "${README}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${STAGE}/readme.utf8" "${text}")
execute_process(COMMAND iconv -f UTF-8 -t CP932 "${STAGE}/readme.utf8"
                OUTPUT_FILE "${STAGE}/readme.txt" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE "${STAGE}/readme.utf8")

foreach(part export problems)
  if(IS_DIRECTORY "${EXAMPLES}/${part}")
    file(COPY "${EXAMPLES}/${part}" DESTINATION "${STAGE}/examples")
  endif()
endforeach()

execute_process(COMMAND zip -q -X -r "${ZIP}" .
                WORKING_DIRECTORY "${STAGE}" COMMAND_ERROR_IS_FATAL ANY)
