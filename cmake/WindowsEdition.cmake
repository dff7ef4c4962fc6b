# The Windows edition: sarvik.dll with exactly the exports of interface/sarvik.h, staged under
# stage/ in the install tree's layout and packed into a zip; the tests that run under Wine.
# Included by the top-level CMakeLists.txt when cross-building for Windows.

# The plug-in keeps the name the controller loads (no "lib" prefix); its exports come from the
# definition file, not from what the compiler marks.
set_target_properties(sarvik PROPERTIES PREFIX "" OUTPUT_NAME sarvik)
target_sources(sarvik PRIVATE "${CMAKE_SOURCE_DIR}/interface/sarvik.def")
# The shipped DLL goes without its debugging information.
target_link_options(sarvik PRIVATE -s)

# sarvik-host.exe, the reference host as a console program beside the plug-in, shipped without
# its debugging information like the plug-in.
add_subdirectory(tools/host)
target_link_options(sarvik-host PRIVATE -s)

# The zip of the staged tree, as it is unpacked beside the controller.
set(SARVIK_WINDOWS_ZIP "${CMAKE_BINARY_DIR}/sarvik-windows.zip")
add_custom_target(sarvik-windows-zip ALL
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${SARVIK_WINDOWS_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory help
  COMMAND "${CMAKE_COMMAND}" -E tar cf "${SARVIK_WINDOWS_ZIP}" --format=zip bin dat help
  WORKING_DIRECTORY "${SARVIK_STAGE_DIR}"
  BYPRODUCTS "${SARVIK_WINDOWS_ZIP}"
  COMMENT "Packing the Windows install tree into sarvik-windows.zip"
  VERBATIM)
add_dependencies(sarvik-windows-zip sarvik)
foreach(staged IN ITEMS sarvik-host sarvik_help)
  if(TARGET ${staged})
    add_dependencies(sarvik-windows-zip ${staged})
  endif()
endforeach()

if(SARVIK_BUILD_TESTS)
  # At the top of the tree, so that ctest in the build folder finds the tests below.
  enable_testing()
  add_subdirectory(tests/windows)
endif()
