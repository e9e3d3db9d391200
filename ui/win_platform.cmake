# The engine's platform port on Win32 (ui::WinPlatform), a static library of its own so that
# the window and the tests link the same code. Included from ui/CMakeLists.txt.
if(OSTRABEL_WIN32 AND NOT TARGET win_platform)
  add_library(win_platform STATIC ${CMAKE_CURRENT_LIST_DIR}/win_platform.cpp)
  target_include_directories(win_platform PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(win_platform PUBLIC oleaut32)
endif()
