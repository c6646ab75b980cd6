# Sanitizer builds of the whole tree (daemon stand-in, plugin, replay tool, tests) and the switch
# for the libFuzzer targets. Everything is instrumented alike, so a sanitized plugin is always
# loaded by a sanitized host.
#
#   -DKORVEL_SANITIZE=address   address and undefined-behaviour sanitizers, every report fatal
#   -DKORVEL_SANITIZE=thread    thread sanitizer
#   -DKORVEL_FUZZ=ON            also build fuzz/ (clang, with KORVEL_SANITIZE=address)
set(KORVEL_SANITIZE "" CACHE STRING "Sanitizers for every target: empty, address or thread")
set_property(CACHE KORVEL_SANITIZE PROPERTY STRINGS "" address thread)
option(KORVEL_FUZZ "Build the libFuzzer targets of fuzz/ (clang and KORVEL_SANITIZE=address)" OFF)

set(KORVEL_SANITIZER_FLAGS "")
if(KORVEL_SANITIZE STREQUAL "address")
  # -fno-sanitize-recover makes every undefined-behaviour report end the process like an address
  # report does, so no report can pass unnoticed in a test's output.
  set(KORVEL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                             -fno-omit-frame-pointer)
elseif(KORVEL_SANITIZE STREQUAL "thread")
  set(KORVEL_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT KORVEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KORVEL_SANITIZE must be empty, address or thread, not ${KORVEL_SANITIZE}")
endif()

if(KORVEL_SANITIZER_FLAGS)
  add_compile_options(${KORVEL_SANITIZER_FLAGS})
  add_link_options(${KORVEL_SANITIZER_FLAGS})
  add_compile_definitions(KORVEL_SANITIZED=1)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND KORVEL_SANITIZE STREQUAL "address")
    # clang links its sanitizer runtime statically into executables only, which leaves the
    # shared libraries (linked with --no-undefined) without it. The shared runtime serves the
    # programs and the libraries alike; the programs find it through their run path. The thread
    # sanitizer build is made with g++ instead: clang 14's shared runtime for it crashes at start,
    # and its static one clashes with tests that replace operator new.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-runtime-dir
                    OUTPUT_VARIABLE KORVEL_SANITIZER_RUNTIME_DIR
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    add_link_options(-shared-libsan "LINKER:-rpath,${KORVEL_SANITIZER_RUNTIME_DIR}")
  endif()
endif()

if(KORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT KORVEL_SANITIZE STREQUAL "address")
    message(FATAL_ERROR "KORVEL_FUZZ needs clang++ and KORVEL_SANITIZE=address")
  endif()
  # Coverage feedback for libFuzzer in every object; only the fuzz targets link its main().
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The address sanitizer pads every global with a guard zone, which makes the exported ABI records
# 64 bytes long instead of 32: a daemon (and the replay tool) refuses such a plugin. The files
# that define them are built without it (the other sanitizers stay on). Called once every target
# is defined.
function(korvel_sanitizer_exemptions)
  if(NOT KORVEL_SANITIZE STREQUAL "address")
    return()
  endif()
  set(records plugin/entry.cpp korvel_frame)
  if(TARGET korvel-fake-bad-abi)
    list(APPEND records tests/tools/fake_plugin/bad_abi_plugin.cpp korvel-fake-bad-abi)
  endif()
  while(records)
    list(POP_FRONT records file target)
    set_source_files_properties(${PROJECT_SOURCE_DIR}/${file} TARGET_DIRECTORY ${target}
                                PROPERTIES COMPILE_OPTIONS -fno-sanitize=address)
  endwhile()
endfunction()
