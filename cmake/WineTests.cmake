# Running the Windows build's programs under Wine, for CTest and for the
# GoogleTest discovery.
#
# Every Wine run of this build uses a prefix inside the build folder, made
# once by the wine_prefix target, so that runs never share state with
# ~/.wine or with another build. A CTest fixture (wine_server) starts a
# persistent wineserver before the first test and stops it after the last,
# so no test pays for starting one or waits for one to go away.
find_program(QUORLIN_WINE wine REQUIRED)
find_program(QUORLIN_WINESERVER wineserver REQUIRED)
find_program(QUORLIN_ENV env REQUIRED)

set(QUORLIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
# mscoree and mshtml off: a fresh prefix would otherwise offer to install
# Mono and Gecko, which no test needs.
set(QUORLIN_WINE_ENV
  WINEPREFIX=${QUORLIN_WINEPREFIX}
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORLIN_ENV} ${QUORLIN_WINE_ENV} ${QUORLIN_WINE})

add_custom_command(
  OUTPUT ${QUORLIN_WINEPREFIX}/system.reg
  COMMAND ${QUORLIN_ENV} ${QUORLIN_WINE_ENV} ${QUORLIN_WINE} wineboot -i
  COMMAND ${QUORLIN_ENV} ${QUORLIN_WINE_ENV} ${QUORLIN_WINESERVER} -w
  COMMENT "Making the Wine prefix ${QUORLIN_WINEPREFIX}"
  VERBATIM)
add_custom_target(wine_prefix ALL DEPENDS ${QUORLIN_WINEPREFIX}/system.reg)

# quorlin_wine_server_fixture(): the two fixture tests; call once, where the
# tests are added.
function(quorlin_wine_server_fixture)
  foreach(action start stop)
    add_test(NAME wine_server_${action}
      COMMAND ${CMAKE_COMMAND}
        -DACTION=${action}
        -DWINE=${QUORLIN_WINE}
        -DWINESERVER=${QUORLIN_WINESERVER}
        -DWINEPREFIX=${QUORLIN_WINEPREFIX}
        -P ${PROJECT_SOURCE_DIR}/cmake/WineServer.cmake)
  endforeach()
  set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine_server TIMEOUT 60)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_server TIMEOUT 60)
endfunction()

# Properties every Windows test carries.
set(QUORLIN_TEST_PROPERTIES FIXTURES_REQUIRED wine_server)
