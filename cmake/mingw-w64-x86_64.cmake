# Cross build for Windows x86-64 with mingw-w64; programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEMRA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEMRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEMRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEMRA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEMRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime goes into every binary, so no runtime DLL has to lie beside them.
set(_vemra_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_vemra_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_vemra_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_vemra_static}")

get_property(_vemra_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT _vemra_in_try_compile)
  # Boost is header-only here: a folder holding nothing but a link to the host's Boost
  # headers keeps the rest of /usr/include away from the cross compiler.
  set(_vemra_boost "${CMAKE_BINARY_DIR}/boost-include")
  if(NOT EXISTS "${_vemra_boost}/boost/version.hpp")
    file(MAKE_DIRECTORY "${_vemra_boost}")
    file(CREATE_LINK /usr/include/boost "${_vemra_boost}/boost" SYMBOLIC)
  endif()
  set(Boost_INCLUDE_DIR "${_vemra_boost}" CACHE PATH "Boost headers for the cross build")
  set(Boost_NO_BOOST_CMAKE ON CACHE BOOL "")
  set(Boost_NO_SYSTEM_PATHS ON CACHE BOOL "")

  set(GTest_DIR "${CMAKE_CURRENT_LIST_DIR}/mingw-w64" CACHE PATH "GoogleTest built from source")

  # One wine prefix per build folder, used by every program run at build or test time.
  set(VEMRA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(VEMRA_WINE_ENVIRONMENT
      "WINEPREFIX=${VEMRA_WINEPREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
  # wine-run.sh takes both from PATH.
  find_program(VEMRA_WINE wine REQUIRED)
  find_program(VEMRA_WINESERVER wineserver REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ${VEMRA_WINE_ENVIRONMENT}
      /bin/sh "${CMAKE_CURRENT_LIST_DIR}/mingw-w64/wine-run.sh")
  # Test programs wait for the test that sets the prefix up (tests/windows).
  set(VEMRA_WINE_TEST_PROPERTIES FIXTURES_REQUIRED wineprefix)
endif()
