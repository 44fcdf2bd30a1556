# The Windows build (cmake/mingw-w64-x86_64.cmake): GoogleTest compiled from
# its sources by the cross compiler, and the tests run under wine in a wine
# prefix of this build tree, made once per run by the wine_prefix test.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian: googletest)")
if(NOT EXISTS ${GTEST_SOURCE_DIR}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${GTEST_SOURCE_DIR}: install googletest")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's sources are not ours to keep warning-free.
foreach(t gtest gtest_main)
  target_compile_options(${t} PRIVATE -w)
endforeach()

# find_package(GTest) and gtest_discover_tests of the test folders.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/win32)

if(CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(WINESERVER_PROGRAM NAMES wineserver64 wineserver PATHS /usr/lib/wine
               NO_CMAKE_FIND_ROOT_PATH)
  set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
  set(wine_env WINEPREFIX=${WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  set(wine ${CMAKE_COMMAND} -E env ${wine_env} ${CMAKE_CROSSCOMPILING_EMULATOR})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${wine})
  # a new prefix for each run, so no state of an earlier run leaks in; the
  # server is told to go when the last test is done
  add_test(NAME wine_prefix COMMAND sh -c "rm -rf \"$1\" && shift && \"$@\" wineboot -i" sh
                                    ${WINE_PREFIX} ${wine})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine)
  if(WINESERVER_PROGRAM)
    # (a server that has gone already is no failure)
    add_test(NAME wine_server_stop COMMAND sh -c "\"$@\" -k || true" sh ${CMAKE_COMMAND} -E env
                                           ${wine_env} ${WINESERVER_PROGRAM})
    set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine)
  endif()
else()
  message(WARNING "wine not found: the Windows tests are built but cannot run here")
endif()
