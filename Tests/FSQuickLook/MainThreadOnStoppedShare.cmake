# The main thread against a share whose server was stopped: needs the loopback
# SMB server and a gvfs session, so it runs through the SMB tests' wrapper.
add_executable(tst_MainThreadOnStoppedShare ${CMAKE_CURRENT_SOURCE_DIR}/MainThreadOnStoppedShare.cpp)
target_link_libraries(tst_MainThreadOnStoppedShare PRIVATE TestSupport FSQuickLook FSUIKit)
add_test(NAME tst_MainThreadOnStoppedShare
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/../FSCore/ServerConnectionSmb.sh $<TARGET_FILE:tst_MainThreadOnStoppedShare>)
set_tests_properties(tst_MainThreadOnStoppedShare PROPERTIES
    TIMEOUT 120
    SKIP_RETURN_CODE 77
    RESOURCE_LOCK loopback-smb
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
