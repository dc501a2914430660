# The main window on Qt Widgets and the `codekiln` executable that shows it.
# Included from this folder's CMakeLists.txt after the batch run's library.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(codekiln_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/drive_list.cc
  ${CMAKE_CURRENT_LIST_DIR}/form1.cc
  ${CMAKE_CURRENT_LIST_DIR}/form1.h
  ${CMAKE_CURRENT_LIST_DIR}/gui_ui.cc
  ${CMAKE_CURRENT_LIST_DIR}/gui_ui.h
)
set_target_properties(codekiln_window PROPERTIES AUTOMOC ON)
target_include_directories(codekiln_window PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(codekiln_window PUBLIC codekiln_batch codekiln_platform Qt6::Widgets)
target_compile_features(codekiln_window PUBLIC cxx_std_17)

add_executable(codekiln ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
set_target_properties(codekiln PROPERTIES WIN32_EXECUTABLE ON)

# On Windows the icon goes into the executable as a resource: the packaged
# one when packaging/ holds it, else the plain one beside this file.
if(WIN32)
  foreach(icon ${PROJECT_SOURCE_DIR}/packaging/codekiln.ico ${CMAKE_CURRENT_LIST_DIR}/codekiln.ico)
    if(EXISTS ${icon})
      file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/codekiln_icon.rc "IDI_ICON1 ICON \"${icon}\"\n")
      target_sources(codekiln PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/codekiln_icon.rc)
      break()
    endif()
  endforeach()
endif()
target_link_libraries(codekiln PRIVATE codekiln_window)
