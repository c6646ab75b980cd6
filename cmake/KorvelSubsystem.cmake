# korvel_subsystem(NAME DIR): an object library of every .cpp file in DIR, built hidden for the
# plugin, with the tree's root on the include path and the daemon library's headers.
function(korvel_subsystem name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    # A folder still without code builds as an empty object library.
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "// ${name} has no code yet.\n")
  endif()
  add_library(${name} OBJECT ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC korveld)
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                           VISIBILITY_INLINES_HIDDEN ON)
  korvel_set_warnings(${name})
endfunction()
