# One static library per layer folder. Sources are picked up by glob so that a
# new class pair needs no build edit; app/main.cpp is the executable's own.
set(TORNAVEL_LAYERS "" CACHE INTERNAL "")

function(tornavel_layer name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/app/main\\.cpp$")
  set(target tornavel_${name})
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC Threads::Threads)
    # The fuzzers' coverage counters go in the code under fuzz only; the unit
    # tests of the same build link it too (the sanitizer runtime answers the
    # counters' calls when no fuzzer is linked).
    if(TORNAVEL_FUZZ)
      target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE Threads::Threads)
  endif()
  foreach(below ${ARGN})
    if(srcs)
      target_link_libraries(${target} PUBLIC tornavel_${below})
    else()
      target_link_libraries(${target} INTERFACE tornavel_${below})
    endif()
  endforeach()
  set(TORNAVEL_LAYERS ${TORNAVEL_LAYERS} ${name} CACHE INTERNAL "")
endfunction()

# The layer a fuzz target or benchmark links, named on its first line as
# "// layer: <folder>"; app when it names none.
function(tornavel_layer_of src out)
  file(STRINGS ${src} first LIMIT_COUNT 1)
  string(REGEX MATCH "layer: *([a-z0-9]+)" _ "${first}")
  if(CMAKE_MATCH_1)
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} app PARENT_SCOPE)
  endif()
endfunction()
