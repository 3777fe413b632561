# Installs into a temporary DESTDIR and checks what the desktop will read.
add_test(NAME InstalledFiles
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/InstalledFiles.sh ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND})
set_tests_properties(InstalledFiles PROPERTIES TIMEOUT 120)
