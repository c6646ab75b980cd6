# korvel_subsystem(NAME DIR [USES TARGETS...]): an object library of every .cpp file in DIR, built
# hidden for the plugin, with the daemon library's headers and the subsystems it uses.
#
# The subsystems include each other's headers by folder ("config/settings.h"). A subsystem's
# include path holds its own folder and the folders of the subsystems it USES, and nothing else
# of the tree: each folder is linked under its name into a directory of the build tree of its
# own. So a header of a folder a subsystem does not use is not found, and the include fails to
# build.
function(korvel_subsystem name dir)
  cmake_parse_arguments(PARSE_ARGV 2 SUBSYSTEM "" "" "USES")
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    # A folder still without code builds as an empty object library.
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "// ${name} has no code yet.\n")
  endif()
  get_filename_component(folder ${dir} NAME)
  set(include_root ${PROJECT_BINARY_DIR}/subsystem-include/${name})
  file(MAKE_DIRECTORY ${include_root})
  file(CREATE_LINK ${dir} ${include_root}/${folder} SYMBOLIC)

  add_library(${name} OBJECT ${sources})
  target_include_directories(${name} PUBLIC ${include_root})
  target_link_libraries(${name} PUBLIC korveld ${SUBSYSTEM_USES})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                           VISIBILITY_INLINES_HIDDEN ON)
  korvel_set_warnings(${name})
endfunction()
