# The record-copy benchmark (bench/copy_bench.cpp): it builds its large claim
# table with talvexhost's sample data writer, so it lives beside it.
if(TARGET talvex_host_install)
  add_executable(copy_bench ${PROJECT_SOURCE_DIR}/bench/copy_bench.cpp)
  target_link_libraries(copy_bench PRIVATE talvex_host_install tabmend_core)
  talvex_link_engine(copy_bench)
  talvex_warnings(copy_bench)
  set_property(TARGET copy_bench PROPERTY TALVEX_TESTING ON)
endif()
