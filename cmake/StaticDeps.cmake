# QG_STATIC_DEPS: abseil and expat linked into the module from their static
# archives, so that a wheel needs neither package on the machine it lands on.
#
# Every imported abseil and expat library is pointed at the static archive
# beside its shared one. Debian compiles those archives as position-
# independent code for executables; one unit the module needs,
# raw_hash_set.cc, keeps a thread-local counter in the local-exec TLS model,
# which a shared object cannot hold, so the module compiles its own copy of
# that unit (third_party/abseil/README.md) and the archive's is never taken.

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

if(NOT absl_VERSION VERSION_EQUAL 20220623)
  message(FATAL_ERROR "QG_STATIC_DEPS: third_party/abseil/raw_hash_set.cc is abseil "
                      "20220623's, the installed abseil is ${absl_VERSION}: take the file "
                      "from that release")
endif()
add_library(qg_absl_raw_hash_set OBJECT ${CMAKE_SOURCE_DIR}/third_party/abseil/raw_hash_set.cc)
target_link_libraries(qg_absl_raw_hash_set PRIVATE absl::raw_hash_set)
target_compile_options(qg_absl_raw_hash_set PRIVATE -w)  # its code, its warnings

# The module: the object before the archives, and the archives' symbols kept
# local, so that they never meet another module's copy.
function(qg_link_static_deps target)
  target_link_libraries(${target} PRIVATE qg_absl_raw_hash_set)
  target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
endfunction()
