# Precompiled headers. Parsing the test framework's and Qt's headers is most of
# the time a test or window source takes to compile, so each kind of target
# reuses one precompiled set: kd_pch_core for tests without windows,
# kd_pch_qt for the tests of windows, kd_pch_ui for the window libraries.
option(KD_PCH "Use precompiled headers" ON)

# Test code is compiled for speed of building, not of running: the code under
# test keeps the build's own options.
set(KD_TEST_FLAGS -O1 -g1)

set(KD_PCH_STD <string> <vector> <map> <set> <array> <memory> <functional> <algorithm>
    <chrono> <thread> <mutex> <atomic> <filesystem> <fstream> <sstream> <cstdint> <cmath>)
set(KD_PCH_QT <QApplication> <QWidget> <QLabel> <QAction> <QLineEdit> <QComboBox>
    <QPushButton> <QTimer> <QFrame> <QCheckBox> <QToolButton> <QPainter> <QMouseEvent>
    <QMenu> <QImage> <QGroupBox> <QSignalBlocker>)

if(KD_PCH)
  file(WRITE ${CMAKE_BINARY_DIR}/generated/kd_pch_stub.cpp "// precompiled headers only\n")
  add_library(kd_pch_core OBJECT ${CMAKE_BINARY_DIR}/generated/kd_pch_stub.cpp)
  target_link_libraries(kd_pch_core PRIVATE GTest::gtest Threads::Threads)
  target_compile_options(kd_pch_core PRIVATE ${KD_TEST_FLAGS})
  target_precompile_headers(kd_pch_core PRIVATE <gtest/gtest.h> ${KD_PCH_STD})
  if(KD_GUI)
    add_library(kd_pch_qt OBJECT ${CMAKE_BINARY_DIR}/generated/kd_pch_stub.cpp)
    target_link_libraries(kd_pch_qt PRIVATE GTest::gtest Threads::Threads Qt6::Widgets)
    target_compile_options(kd_pch_qt PRIVATE ${KD_TEST_FLAGS})
    target_precompile_headers(kd_pch_qt PRIVATE <gtest/gtest.h> ${KD_PCH_STD} ${KD_PCH_QT})
    add_library(kd_pch_ui OBJECT ${CMAKE_BINARY_DIR}/generated/kd_pch_stub.cpp)
    target_link_libraries(kd_pch_ui PRIVATE Qt6::Widgets)
    target_precompile_headers(kd_pch_ui PRIVATE ${KD_PCH_STD} ${KD_PCH_QT})
  endif()
endif()

# kd_use_pch(TARGET QT|CORE|UI): QT and CORE for tests, UI for the window libraries
function(kd_use_pch target kind)
  if(NOT KD_PCH)
    return()
  endif()
  if(kind STREQUAL "QT" AND TARGET kd_pch_qt)
    target_precompile_headers(${target} REUSE_FROM kd_pch_qt)
  elseif(kind STREQUAL "UI" AND TARGET kd_pch_ui)
    target_precompile_headers(${target} REUSE_FROM kd_pch_ui)
  elseif(kind STREQUAL "CORE")
    target_precompile_headers(${target} REUSE_FROM kd_pch_core)
  endif()
endfunction()
