# vemra_warnings(target): the project's warning set, applied to everything we compile. With
# VEMRA_WERROR (CI turns it on) a warning fails the build; a developer's local build is not held up
# by the first warning a newer compiler brings.
option(VEMRA_WERROR "Treat compiler warnings as errors" OFF)

function(vemra_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
  if(VEMRA_WERROR)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
  endif()
endfunction()
