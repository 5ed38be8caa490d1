# Install step: writes a pkg-config file for the prefix being installed to.
# The install rule sets pc_template, pc_work_dir, pc_libdir, pc_includedir
# and pc_version; the file is named after its template.
get_filename_component(pc_name "${pc_template}" NAME_WE)
set(prefix "${CMAKE_INSTALL_PREFIX}")
configure_file("${pc_template}" "${pc_work_dir}/${pc_name}.pc" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${pc_libdir}/pkgconfig" TYPE FILE FILES "${pc_work_dir}/${pc_name}.pc")
