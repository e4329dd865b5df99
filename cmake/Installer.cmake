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
  orvantis_write_if_changed("${versionFile}" "${ARG_VERSION}\n")
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
# the place of the libraries' ones at link time. Without CA it trusts the
# system's authorities only, without KEY it checks no signature, whatever the
# libraries were configured with.
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
  target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/update/releasekey.cpp")
  if(ARG_KEY)
    get_filename_component(keyDir "${ARG_KEY}" DIRECTORY)
    get_filename_component(keyName "${ARG_KEY}" NAME)
    qt_add_resources(${target} "${target}_key" PREFIX "/orvantis/variant" BASE "${keyDir}"
      FILES "${ARG_KEY}")
  else()
    set(keyName "no-key") # a resource that does not exist: no key
  endif()
  target_compile_definitions(${target} PRIVATE
    ORVANTIS_RELEASE_KEY_RESOURCE=":/orvantis/variant/${keyName}")
endfunction()

# orvantis_add_release(<version> <settings>)
# The target release-installer: <build>/release/OrvantisClient-<version>-setup.run,
# a client variant for exactly the origin, trusted authority and release key
# that the settings file records (the --build-info of a client already out
# there), whatever this folder itself was configured for.
function(orvantis_add_release version settings)
  orvantis_check_version(ORVANTIS_RELEASE_VERSION "${version}")
  if(NOT EXISTS "${settings}")
    message(FATAL_ERROR "ORVANTIS_RELEASE_SETTINGS: no file at ${settings}")
  endif()
  file(READ "${settings}" facts)
  foreach(fact origin trusted_ca release_key)
    string(JSON ${fact} ERROR_VARIABLE problem GET "${facts}" ${fact})
    if(problem)
      message(FATAL_ERROR "ORVANTIS_RELEASE_SETTINGS: ${settings} is no client's --build-info: ${problem}")
    endif()
  endforeach()
  set(dir "${CMAKE_BINARY_DIR}/release")
  set(variant VERSION "${version}" ORIGIN "${origin}")
  if(NOT trusted_ca STREQUAL "")
    orvantis_write_if_changed("${dir}/ca.pem" "${trusted_ca}")
    list(APPEND variant CA "${dir}/ca.pem")
  endif()
  if(NOT release_key STREQUAL "")
    orvantis_write_if_changed("${dir}/release-signing.pub" "${release_key}\n")
    list(APPEND variant KEY "${dir}/release-signing.pub")
  endif()
  orvantis_add_client_variant(release-client ${variant})
  orvantis_add_installer(release-installer CLIENT release-client VERSION "${version}"
    OUTPUT "${dir}/OrvantisClient-${version}-setup.run")
endfunction()
