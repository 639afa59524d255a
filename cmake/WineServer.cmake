# cmake -DACTION=start|stop -DWINE=path -DWINESERVER=path -DWINEPREFIX=dir -P WineServer.cmake
#
# start: leaves a persistent wineserver running for WINEPREFIX. A server that
# is already there (one started by the test discovery lingers a few seconds)
# is not persistent, so it is replaced. Then the prefix is started
# (wineboot): the first program of a session starts Wine's own background
# processes, which would otherwise inherit that program's output pipes and
# keep its test waiting for them until its time-out.
# stop: ends the server and waits until it is gone.
set(ENV{WINEPREFIX} ${WINEPREFIX})
# The server stays behind as a daemon: it must not hold the pipes CTest
# reads this script's output from, or the test would last until it ends.
set(detached INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
set(ENV{WINEDEBUG} -all)
if(ACTION STREQUAL "start")
  execute_process(COMMAND ${WINESERVER} -p RESULT_VARIABLE rc ${detached})
  if(NOT rc EQUAL 0)
    execute_process(COMMAND ${WINESERVER} -k)
    execute_process(COMMAND ${WINESERVER} -w)
    execute_process(COMMAND ${WINESERVER} -p RESULT_VARIABLE rc ${detached})
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "wineserver -p failed (${rc}) for ${WINEPREFIX}")
  endif()
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
  execute_process(COMMAND ${WINE} wineboot RESULT_VARIABLE rc ${detached})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "wineboot failed (${rc}) for ${WINEPREFIX}")
  endif()
elseif(ACTION STREQUAL "stop")
  execute_process(COMMAND ${WINESERVER} -k)
  execute_process(COMMAND ${WINESERVER} -w)
else()
  message(FATAL_ERROR "ACTION must be start or stop")
endif()
