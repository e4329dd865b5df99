# orvantis_layer(<name> [FOLDER <folder>] SOURCES <sources...> LINKS <libraries...>)
# A static library of one folder. Its include path is the project root, but it
# sees only the Qt modules and layers it links: a widget header in api/ fails
# to compile. With FOLDER its include path is instead a view of the project
# root that holds only that folder, so that a header of a layer it does not
# link fails to compile too. Every object of it is also linked into a small
# executable with nothing but those libraries, so that a call into a layer
# above it is an undefined symbol and fails the build.
set(ORVANTIS_LAYERCHECK_MAIN "${CMAKE_BINARY_DIR}/generated/layercheck.cpp")
orvantis_write_if_changed("${ORVANTIS_LAYERCHECK_MAIN}" "int main() { return 0; }\n")

function(orvantis_layer name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(ARG_FOLDER)
    set(view "${CMAKE_BINARY_DIR}/layer-views/${name}")
    get_filename_component(parent "${view}/${ARG_FOLDER}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${ARG_FOLDER}" "${view}/${ARG_FOLDER}" SYMBOLIC)
    target_include_directories(${name} PUBLIC "${view}")
  else()
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  target_compile_definitions(${name} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)
  add_executable(${name}_layercheck "${ORVANTIS_LAYERCHECK_MAIN}")
  target_link_libraries(${name}_layercheck PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>")
endfunction()
