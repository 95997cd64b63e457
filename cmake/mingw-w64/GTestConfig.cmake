# GoogleTest for the cross build: Debian ships only its sources for other targets, so the
# toolchain points find_package(GTest) here and the libraries are built from them.
if(TARGET GTest::gtest)
  return()
endif()

set(_vemra_gtest_src /usr/src/googletest)
if(NOT EXISTS "${_vemra_gtest_src}/googletest/src/gtest-all.cc")
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "GoogleTest sources not found in ${_vemra_gtest_src}")
  return()
endif()

set(_vemra_gtest "${_vemra_gtest_src}/googletest")
add_library(vemra_gtest STATIC EXCLUDE_FROM_ALL "${_vemra_gtest}/src/gtest-all.cc")
target_include_directories(vemra_gtest SYSTEM PUBLIC "${_vemra_gtest}/include")
target_include_directories(vemra_gtest PRIVATE "${_vemra_gtest}")

# Standard output in binary mode, so that CTest reads test lists without carriage returns.
add_library(vemra_gtest_main STATIC EXCLUDE_FROM_ALL
            "${CMAKE_CURRENT_LIST_DIR}/../../tests/windows/gtest_main.cpp")
target_link_libraries(vemra_gtest_main PUBLIC vemra_gtest)

set(_vemra_gmock "${_vemra_gtest_src}/googlemock")
add_library(vemra_gmock STATIC EXCLUDE_FROM_ALL "${_vemra_gmock}/src/gmock-all.cc")
target_include_directories(vemra_gmock SYSTEM PUBLIC "${_vemra_gmock}/include")
target_include_directories(vemra_gmock PRIVATE "${_vemra_gmock}")
target_link_libraries(vemra_gmock PUBLIC vemra_gtest)

add_library(GTest::gtest ALIAS vemra_gtest)
add_library(GTest::gtest_main ALIAS vemra_gtest_main)
add_library(GTest::gmock ALIAS vemra_gmock)

set(GTest_FOUND TRUE)
