# The batch dialog over the engine (Qt Widgets): a library that the GUI
# program and the offscreen tests link.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

# The dialog's input rules, free of Qt (tested under the sanitizers).
add_library(tervane_batch_dlg_rules STATIC batch_dlg_rules.cpp batch_dlg_rules.h)
target_include_directories(tervane_batch_dlg_rules PUBLIC ${PROJECT_SOURCE_DIR})

add_library(tervane_batch_gui STATIC
  batch_dlg_bridge.cpp
  batch_dlg_bridge.h
  batch_dlg_controls.cpp
  batch_dlg_controls.h
  batch_settings.cpp
  batch_settings.h
  device_list_view.cpp
  device_list_view.h
  tervane_dlg.cpp
  tervane_dlg.h
  tervane_dlg_jobs.cpp
)
set_target_properties(tervane_batch_gui PROPERTIES AUTOMOC ON)
target_link_libraries(tervane_batch_gui PUBLIC tervane_batch tervane_batch_dlg_rules tervane_ui Qt6::Widgets)
