# Runs one Windows test program under Wine for ctest, from a Linux build machine.
# Wine drops a console program's piped output, so the results go to a file, which is
# printed afterwards; the test's exit status is ctest's verdict.
# WINE may be a command line with its words split by "|" (Wine under xvfb-run).
#   cmake -DWINE=... -DPROGRAM=... -DRESULTS=... -DDLL_DIRS=dir|dir -DARGS=a|b -P wine-test.cmake
string(REPLACE "|" ";" dll_dirs "${DLL_DIRS}")
set(winepath "")
foreach(dir IN LISTS dll_dirs)
  string(APPEND winepath "Z:${dir};")
endforeach()
set(ENV{WINEPATH} "${winepath}")
set(ENV{WINEDEBUG} "-all")
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
string(REPLACE "|" ";" args "${ARGS}")
file(REMOVE "${RESULTS}")
string(REPLACE "|" ";" wine "${WINE}")
execute_process(COMMAND ${wine} "${PROGRAM}" ${args} -o "Z:${RESULTS},txt" RESULT_VARIABLE status)
if(EXISTS "${RESULTS}")
  file(READ "${RESULTS}" text)
  message("${text}")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} under Wine: exit status ${status}")
endif()
