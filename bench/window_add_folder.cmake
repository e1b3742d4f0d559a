# The add-folder command's benchmark (not a test): cmake --build BUILD --target window_add_folder
add_executable(window_add_folder EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/window_add_folder.cpp)
target_link_libraries(window_add_folder PRIVATE tolvik_ui)
target_include_directories(window_add_folder PRIVATE ${PROJECT_SOURCE_DIR}/tests)
