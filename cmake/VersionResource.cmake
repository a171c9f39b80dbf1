# The identity every Voxlink binary carries. The version is the project's; the
# company is the publisher that Explorer, the signature prompt and, through
# Voxlink.exe's resource, the installer's Manufacturer and the winget manifest show.
set(VOXLINK_COMPANY "Quietline Software")
string(TIMESTAMP _year "%Y" UTC)
set(VOXLINK_COPYRIGHT "Copyright (C) ${_year} ${VOXLINK_COMPANY}")
enable_language(RC)

# voxlink_version_resource(<target> <description>): adds the version resource to
# a program or library. Windows Installer compares installed files by its fixed
# version, so each binary the package installs needs one.
function(voxlink_version_resource target description)
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(VOXLINK_FILE_TYPE VFT_APP)
    set(VOXLINK_FILE_NAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(VOXLINK_FILE_TYPE VFT_DLL)
    set(VOXLINK_FILE_NAME ${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  set(VOXLINK_FILE_DESCRIPTION ${description})
  set(_rc ${CMAKE_BINARY_DIR}/generated/${target}.version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
