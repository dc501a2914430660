# The main window's tests: Qt Test driving the real window on the offscreen
# platform. Included from this folder's CMakeLists.txt.
find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

add_executable(form1_test ${CMAKE_CURRENT_LIST_DIR}/form1_test.cc)
set_target_properties(form1_test PROPERTIES AUTOMOC ON)
target_link_libraries(form1_test PRIVATE codekiln_window Qt6::Test)
# A static Qt links only the default platform plugin; the tests need the
# offscreen one beside it.
get_target_property(qt_core_type Qt6::Core TYPE)
if(qt_core_type STREQUAL "STATIC_LIBRARY")
  qt_import_plugins(form1_test INCLUDE Qt6::QOffscreenIntegrationPlugin)
endif()
# The platform also on the command line: Wine passes no QT_ variables on.
add_test(NAME form1_test COMMAND form1_test -platform offscreen)
set_tests_properties(form1_test PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
  TIMEOUT 120)
