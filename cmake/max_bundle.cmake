# macOS: omber~ as a Max external bundle (omber~.mxo) made from the Max
# SDK's Info.plist template and PkgInfo, symbols resolved from Max when it
# loads the bundle (-undefined dynamic_lookup, as the SDK's own scripts do),
# everything but ext_main hidden.
function(omber_max_bundle target)
  set(script ${OMBER_MAX_SDK_DIR}/script)
  if(NOT EXISTS ${script}/Info.plist.in)
    set(script ${PROJECT_SOURCE_DIR}/third_party/max-sdk-base/script)
  endif()
  # The template's @...@ fields, read from this directory when CMake writes
  # the bundle's Info.plist.
  set(AUTHOR_DOMAIN com.omber PARENT_SCOPE)
  set(BUNDLE_IDENTIFIER omber-tilde PARENT_SCOPE)
  set(EXCLUDE_FROM_COLLECTIVES no PARENT_SCOPE)
  set(PACKAGE_VERSION ${PROJECT_VERSION} PARENT_SCOPE)
  set(COPYRIGHT_STRING "Omber" PARENT_SCOPE)
  set_target_properties(${target} PROPERTIES
    BUNDLE ON
    BUNDLE_EXTENSION mxo
    MACOSX_BUNDLE_INFO_PLIST ${script}/Info.plist.in
    MACOSX_BUNDLE_BUNDLE_NAME "omber~"
    MACOSX_BUNDLE_GUI_IDENTIFIER "com.omber.omber-tilde"
    MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
    MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION}
    XCODE_ATTRIBUTE_WRAPPER_EXTENSION mxo)
  target_link_options(${target} PRIVATE -undefined dynamic_lookup)
  # PkgInfo beside Info.plist, as in every external bundle.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy ${script}/PkgInfo $<TARGET_BUNDLE_CONTENT_DIR:${target}>/PkgInfo)
endfunction()
