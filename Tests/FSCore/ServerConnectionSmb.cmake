# Connecting to a real SMB share needs a server and a gvfs session around the
# test binary, so it runs through its wrapper script. The source is not named
# tst_*.cpp: those run bare.
add_executable(tst_ServerConnectionSmb ${CMAKE_CURRENT_SOURCE_DIR}/ServerConnectionSmb.cpp)
target_link_libraries(tst_ServerConnectionSmb PRIVATE TestSupport FSCore Qt6::Concurrent)
add_test(NAME tst_ServerConnectionSmb
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/ServerConnectionSmb.sh $<TARGET_FILE:tst_ServerConnectionSmb>)
set_tests_properties(tst_ServerConnectionSmb PROPERTIES
    TIMEOUT 90
    SKIP_RETURN_CODE 77
    # Only one SMB server test at a time, whatever ctest -j says.
    RESOURCE_LOCK loopback-smb
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
