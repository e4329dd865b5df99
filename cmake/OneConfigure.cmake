# orvantis_take_once(<var> <default>)
# A value given with -D<var>=... counts for this configure only: it is taken
# out of the cache at once, so the next configure of the folder without it is
# back at <default>. Builds at another version use it.
macro(orvantis_take_once var default)
  if(DEFINED CACHE{${var}})
    set(${var} "$CACHE{${var}}")
    unset(${var} CACHE)
  else()
    set(${var} "${default}")
  endif()
endmacro()

# The client compares versions number by number and ignores anything after
# them: "0.2.0-rc1" would be taken for 0.2.0.
function(orvantis_check_version name version)
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$")
    message(FATAL_ERROR "${name} '${version}' is not dotted decimal numbers such as 0.1.7")
  endif()
endfunction()

# orvantis_write_if_changed(<file> <content>)
# Writes the file only when its content changes, so that configuring again
# rebuilds nothing that depends on it.
function(orvantis_write_if_changed file content)
  if(EXISTS "${file}")
    file(READ "${file}" old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE "${file}" "${content}")
endfunction()
