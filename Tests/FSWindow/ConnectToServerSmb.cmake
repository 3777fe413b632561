# "Connect to Server…" from a window against a real SMB share; run through the
# SMB wrapper, which also skips it where the tools are missing.
add_executable(tst_ConnectToServerSmb ${CMAKE_CURRENT_SOURCE_DIR}/ConnectToServerSmb.cpp)
target_link_libraries(tst_ConnectToServerSmb PRIVATE TestSupport FSWindow)
add_test(NAME tst_ConnectToServerSmb
    COMMAND ${CMAKE_SOURCE_DIR}/Tests/FSCore/ServerConnectionSmb.sh $<TARGET_FILE:tst_ConnectToServerSmb>)
set_tests_properties(tst_ConnectToServerSmb PROPERTIES
    TIMEOUT 180
    SKIP_RETURN_CODE 77
    RESOURCE_LOCK loopback-smb
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
