# QG_STATIC_DEPS: abseil and expat linked into the module from their static
# archives, so that a wheel needs neither package on the machine it lands on.
#
# Every imported abseil and expat library is pointed at the static archive
# beside its shared one (Debian compiles them as position-independent code).
# The module takes only abseil's hashing units from them.

get_directory_property(qg_imported IMPORTED_TARGETS)
foreach(target IN LISTS qg_imported)
  if(NOT target MATCHES "^(absl|EXPAT)::")
    continue()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    continue()
  endif()
  get_target_property(configs ${target} IMPORTED_CONFIGURATIONS)
  set(suffixes "")
  foreach(config IN LISTS configs)
    string(TOUPPER "_${config}" suffix)
    list(APPEND suffixes ${suffix})
  endforeach()
  foreach(suffix "" ${suffixes})
    get_target_property(location ${target} IMPORTED_LOCATION${suffix})
    if(NOT location)
      continue()
    endif()
    string(REGEX REPLACE "\\.so(\\.[0-9]+)*$" ".a" archive "${location}")
    if(NOT EXISTS "${archive}")
      message(FATAL_ERROR "QG_STATIC_DEPS: no static archive for ${target} (${location})")
    endif()
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION${suffix} "${archive}")
  endforeach()
endforeach()

# The archives' symbols stay local, so that they never meet another module's
# copy.
function(qg_link_static_deps target)
  target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
endfunction()
