# The sidebar against a real SMB share, mounted and ejected while it is shown;
# run through the SMB wrapper, which also skips it where the tools are missing.
add_executable(tst_SidebarSmb ${CMAKE_CURRENT_SOURCE_DIR}/SidebarSmb.cpp)
target_link_libraries(tst_SidebarSmb PRIVATE TestSupport FSSidebar Qt6::Concurrent)
add_test(NAME tst_SidebarSmb
    COMMAND ${CMAKE_SOURCE_DIR}/Tests/FSCore/ServerConnectionSmb.sh $<TARGET_FILE:tst_SidebarSmb>)
set_tests_properties(tst_SidebarSmb PROPERTIES
    TIMEOUT 120
    SKIP_RETURN_CODE 77
    RESOURCE_LOCK loopback-smb
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
