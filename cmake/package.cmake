# The portable packages, made by CPack: ManagePlugins-<version>-win64.zip or
# -win32.zip, holding a folder of the same name with the two programs and
# the two documents, nothing else.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(mp_package_arch win64)
else()
  set(mp_package_arch win32)
endif()

install(TARGETS ManagePlugins manage-plugins-cli RUNTIME DESTINATION . COMPONENT programs)
install(FILES ${CMAKE_BINARY_DIR}/readme.txt ${CMAKE_BINARY_DIR}/license.txt
        DESTINATION . COMPONENT programs)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ManagePlugins)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME ${mp_package_arch})
set(CPACK_PACKAGE_FILE_NAME ManagePlugins-${PROJECT_VERSION}-${mp_package_arch})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Only the programs' component is packed, so whatever else gains install
# rules (googletest has its own) stays out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};ManagePlugins;programs;/")
# The programs carry no debugging information into the package.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
