# A component of the package (json, net): its sources compiled once, linked
# as a shared library over the shared packet library (zrpacket_NAME,
# installed as zrpacket::NAME and finding the packet library beside it) and
# as a static one over the static packet library (zrpacket_NAME_static,
# zrpacket::NAME_static), so that a program holds one packet library, never
# both (two would each have their own codec wrapper instance). Installed in
# an export set of its own, which the package's configuration file loads
# when the component is asked for.
#   zrpacket_add_component(NAME EXPORT_SET SET SOURCES file... [LINK target...])
# LINK: what the component and its users need beyond the packet library.
# The component's headers are in include/ beside the caller.
function(zrpacket_add_component name)
  cmake_parse_arguments(ARG "" "EXPORT_SET" "SOURCES;LINK" ${ARGN})
  set(objects zrpacket_${name}_objects)
  add_library(${objects} OBJECT ${ARG_SOURCES})
  set_target_properties(${objects} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${objects} PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>)
  target_link_libraries(${objects} PUBLIC zrpacket_objects ${ARG_LINK})

  add_library(zrpacket_${name} SHARED $<TARGET_OBJECTS:${objects}>)
  add_library(zrpacket_${name}_static STATIC $<TARGET_OBJECTS:${objects}>)
  target_link_libraries(zrpacket_${name} PUBLIC zrpacket ${ARG_LINK})
  target_link_libraries(zrpacket_${name}_static PUBLIC zrpacket_static ${ARG_LINK})
  foreach(lib zrpacket_${name} zrpacket_${name}_static)
    target_include_directories(${lib} PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
                                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zrpacket>)
  endforeach()
  set_target_properties(zrpacket_${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                                    EXPORT_NAME ${name} INSTALL_RPATH "$ORIGIN")
  set_target_properties(zrpacket_${name}_static PROPERTIES OUTPUT_NAME zrpacket_${name} EXPORT_NAME ${name}_static)

  install(TARGETS zrpacket_${name} zrpacket_${name}_static EXPORT ${ARG_EXPORT_SET}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(EXPORT ${ARG_EXPORT_SET} NAMESPACE zrpacket:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zrpacket)
endfunction()
