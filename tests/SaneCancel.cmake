# SANE's test backend reads in a thread that sane_cancel stops with an
# asynchronous pthread_cancel. When that lands while the thread is inside the
# sanitizer's allocator, the allocator lock stays taken and the leak check at
# exit waits for it forever. The cases that cancel a running reader therefore
# skip the leak check; every other case keeps it.
foreach(t SaneTest.JammedDeviceReportsItsStatusAndHandsOutNothing
          SaneTest.IoErrorIsRetriedThreeTimesThenReported
          SaneTest.CancelDuringASlowReadHandsOutNothing
          ScannerSourceTest.ProgressCancelKeepsThePicture)
  set_tests_properties("${t}" PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=0")
endforeach()
