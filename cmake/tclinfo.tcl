# Prints what the build needs to know of the Tcl that runs this script.
puts "patchlevel=[info patchlevel]"
puts "libdir=[tcl::pkgconfig get libdir,install]"
puts "library=[info library]"
puts "pkgPath=$tcl_pkgPath"
