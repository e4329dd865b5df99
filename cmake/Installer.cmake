# Self-extracting Linux installers (makeself) and client builds for another
# server: what a release, and the test of a real update, are made of.
find_program(ORVANTIS_MAKESELF makeself)

# orvantis_add_installer(<target> CLIENT <executable target> VERSION <version> OUTPUT <file.run> [ALL])
# Packs the client, its icon and tools/installer/install.sh, which runs when
# the installer is started and writes the desktop entry.
function(orvantis_add_installer target)
  cmake_parse_arguments(ARG "ALL" "CLIENT;VERSION;OUTPUT" "" ${ARGN})
  if(NOT ORVANTIS_MAKESELF)
    message(STATUS "makeself not found: no target ${target}")
    return()
  endif()
  set(stage "${CMAKE_CURRENT_BINARY_DIR}/${target}-stage")
  set(versionFile "${CMAKE_CURRENT_BINARY_DIR}/${target}-VERSION")
  file(WRITE "${versionFile}" "${ARG_VERSION}\n")
  set(payload "${PROJECT_SOURCE_DIR}/tools/installer/install.sh"
              "${PROJECT_SOURCE_DIR}/assets/orvantisicon.svg")
  add_custom_command(OUTPUT "${ARG_OUTPUT}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${stage}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${stage}"
    COMMAND "${CMAKE_COMMAND}" -E copy ${payload} "${stage}/"
    COMMAND "${CMAKE_COMMAND}" -E copy "${versionFile}" "${stage}/VERSION"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:${ARG_CLIENT}>" "${stage}/OrvantisClient"
    COMMAND "${CMAKE_STRIP}" "${stage}/OrvantisClient"
    COMMAND "${ORVANTIS_MAKESELF}" --quiet --nox11 "${stage}" "${ARG_OUTPUT}"
            "Orvantis kliens ${ARG_VERSION}" ./install.sh
    DEPENDS ${ARG_CLIENT} ${payload} "${versionFile}"
    COMMENT "Packing ${ARG_OUTPUT}"
    VERBATIM)
  if(ARG_ALL)
    set(all ALL)
  endif()
  add_custom_target(${target} ${all} DEPENDS "${ARG_OUTPUT}")
endfunction()

# orvantis_add_client_variant(<target> VERSION <version> ORIGIN <origin> [CA <pem>] [KEY <pub>])
# The client built from the same libraries for another server origin, version,
# trusted authority and release signing key: its own definitions of these take
# the place of the libraries' ones at link time.
function(orvantis_add_client_variant target)
  cmake_parse_arguments(ARG "" "VERSION;ORIGIN;CA;KEY" "" ${ARGN})
  orvantis_check_origin("${ARG_ORIGIN}")
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}-generated")
  set(ORVANTIS_VERSION "${ARG_VERSION}")
  configure_file("${PROJECT_SOURCE_DIR}/app/appversion.h.in" "${generated}/app/appversion.h" @ONLY)
  add_executable(${target} "${PROJECT_SOURCE_DIR}/app/main.cpp"
                 "${PROJECT_SOURCE_DIR}/api/serverorigin.cpp" "${PROJECT_SOURCE_DIR}/app/trustedca.cpp")
  target_include_directories(${target} BEFORE PRIVATE "${generated}")
  target_link_libraries(${target} PRIVATE orvantis_app)
  target_compile_definitions(${target} PRIVATE ORVANTIS_SERVER_ORIGIN="${ARG_ORIGIN}")
  if(ARG_CA)
    get_filename_component(caDir "${ARG_CA}" DIRECTORY)
    qt_add_resources(${target} "${target}_ca" PREFIX "/orvantis/variant" BASE "${caDir}"
      FILES "${ARG_CA}")
    get_filename_component(caName "${ARG_CA}" NAME)
    target_compile_definitions(${target} PRIVATE ORVANTIS_HAS_EXTRA_CA
      ORVANTIS_EXTRA_CA_RESOURCE=":/orvantis/variant/${caName}")
  endif()
  if(ARG_KEY)
    get_filename_component(keyDir "${ARG_KEY}" DIRECTORY)
    get_filename_component(keyName "${ARG_KEY}" NAME)
    target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/update/releasekey.cpp")
    qt_add_resources(${target} "${target}_key" PREFIX "/orvantis/variant" BASE "${keyDir}"
      FILES "${ARG_KEY}")
    target_compile_definitions(${target} PRIVATE
      ORVANTIS_RELEASE_KEY_RESOURCE=":/orvantis/variant/${keyName}")
  endif()
endfunction()
