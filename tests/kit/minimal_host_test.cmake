# Builds examples/minimal-host as its user would, against an installed vemra: installs the build
# into a scratch prefix and moves the prefix (the package must find itself wherever it lies, and
# name neither the source nor the build folder), then builds the example with find_package and
# again with pkg-config alone, and runs each: on SAMPLE it must print EXPECTED and export the
# same bytes; on a file of another format, end in the host's error, writing nothing.
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK=... -DGENERATOR=... -DCXX=... [-DCXX_FLAGS=...]
#       -DSAMPLE=... -DEXPECTED=... -P minimal_host_test.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN}\nfailed (${failed}):\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK}")
run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK}/staged")
file(RENAME "${WORK}/staged" "${WORK}/prefix")
set(prefix "${WORK}/prefix")
file(GLOB_RECURSE package_files "${prefix}/lib/cmake/*" "${prefix}/lib/pkgconfig/*")
foreach(file IN LISTS package_files)
  file(READ "${file}" text)
  foreach(folder IN ITEMS "${SOURCE_DIR}" "${BUILD_DIR}" "${WORK}")
    string(FIND "${text}" "${folder}" at)
    if(at GREATER -1)
      message(FATAL_ERROR "${file} names ${folder}")
    endif()
  endforeach()
endforeach()

set(example "${SOURCE_DIR}/examples/minimal-host")
set(flags "${CXX_FLAGS} -Wall -Wextra -Wpedantic -Werror")
run("${CMAKE_COMMAND}" -S "${example}" -B "${WORK}/build" -G "${GENERATOR}"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${flags}")
run("${CMAKE_COMMAND}" --build "${WORK}/build")

set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
foreach(query IN ITEMS cflags libs variable=libdir variable=plugin)
  string(REGEX REPLACE ".*=" "" answer "${query}")  # into cflags, libs, libdir and plugin
  execute_process(COMMAND pkg-config --${query} vemra RESULT_VARIABLE failed
                  OUTPUT_VARIABLE ${answer} OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "pkg-config --${query} vemra failed (${failed})")
  endif()
endforeach()
separate_arguments(command UNIX_COMMAND "${CXX} ${CXX_FLAGS} -std=c++17 ${cflags}")
separate_arguments(libs UNIX_COMMAND "${libs}")
run(${command} "-DVEMRA_PLUGIN=\"${plugin}\"" "${example}/main.cpp" ${libs}
    "-Wl,-rpath,${libdir}" -o "${WORK}/pkg-config-host")

file(READ "${EXPECTED}" expected)
foreach(host IN ITEMS "${WORK}/build/minimal-host" "${WORK}/pkg-config-host")
  file(REMOVE "${WORK}/copy.ras")
  execute_process(COMMAND "${host}" "${SAMPLE}" "${WORK}/copy.ras" RESULT_VARIABLE failed
                  OUTPUT_VARIABLE out ERROR_VARIABLE errors)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SAMPLE}" "${WORK}/copy.ras"
                  RESULT_VARIABLE differs)
  if(failed OR differs OR NOT out STREQUAL expected)
    message(FATAL_ERROR "${host} failed (${failed}) or wrote other bytes or printed\n${out}${errors}")
  endif()
  execute_process(COMMAND "${host}" "${EXPECTED}" "${WORK}/other.ras" RESULT_VARIABLE failed
                  ERROR_VARIABLE errors)
  if(NOT failed EQUAL 1 OR EXISTS "${WORK}/other.ras" OR
     NOT errors MATCHES "^minimal-host: The file '[^\n]*' is not in a format that can be read\\.\n$")
    message(FATAL_ERROR "${host} on a file of another format: ${failed}, ${errors}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
