# The product server's origin is fixed at build time; the program never reads
# it from anywhere else. Reject values that could not serve as an origin.
set(ORVANTIS_SERVER_ORIGIN "https://localhost:8443" CACHE STRING
    "Origin of the compound and release server (scheme://host[:port])")

function(orvantis_check_origin origin)
  if(origin MATCHES "/$")
    message(FATAL_ERROR "ORVANTIS_SERVER_ORIGIN '${origin}' must not end with a slash.")
  endif()
  if(NOT origin MATCHES "^([a-zA-Z][a-zA-Z0-9+.-]*)://([^/?#@]+)$")
    message(FATAL_ERROR
      "ORVANTIS_SERVER_ORIGIN '${origin}' must be an origin such as https://host:port, "
      "without user info, path, query or fragment.")
  endif()
  string(TOLOWER "${CMAKE_MATCH_1}" scheme)
  set(authority "${CMAKE_MATCH_2}")
  string(REGEX REPLACE ":[0-9]+$" "" host "${authority}")
  if(scheme STREQUAL "https")
    return()
  endif()
  if(scheme STREQUAL "http" AND host MATCHES "^(localhost|127\\.[0-9]+\\.[0-9]+\\.[0-9]+|\\[::1\\])$")
    return()
  endif()
  message(FATAL_ERROR
    "ORVANTIS_SERVER_ORIGIN '${origin}' must use https (http only for a loopback host).")
endfunction()

orvantis_check_origin("${ORVANTIS_SERVER_ORIGIN}")
