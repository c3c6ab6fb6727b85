# Prints what the build needs to know of the Tcl that runs this script.
puts "patchlevel=[info patchlevel]"
puts "libdir=[tcl::pkgconfig get libdir,install]"
puts "library=[info library]"
# Windows Tcl has no tcl_pkgPath: packages go beside its library.
puts "pkgPath=[expr {[info exists tcl_pkgPath] ? $tcl_pkgPath : ""}]"
