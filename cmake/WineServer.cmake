# cmake -DACTION=start|stop -DWINESERVER=path -DWINEPREFIX=dir -P WineServer.cmake
#
# start: leaves a persistent wineserver running for WINEPREFIX. A server that
# is already there (one started by the test discovery lingers a few seconds)
# is not persistent, so it is replaced.
# stop: ends the server and waits until it is gone.
set(ENV{WINEPREFIX} ${WINEPREFIX})
set(ENV{WINEDEBUG} -all)
if(ACTION STREQUAL "start")
  execute_process(COMMAND ${WINESERVER} -p RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    execute_process(COMMAND ${WINESERVER} -k)
    execute_process(COMMAND ${WINESERVER} -w)
    execute_process(COMMAND ${WINESERVER} -p RESULT_VARIABLE rc)
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "wineserver -p failed (${rc}) for ${WINEPREFIX}")
  endif()
elseif(ACTION STREQUAL "stop")
  execute_process(COMMAND ${WINESERVER} -k)
  execute_process(COMMAND ${WINESERVER} -w)
else()
  message(FATAL_ERROR "ACTION must be start or stop")
endif()
