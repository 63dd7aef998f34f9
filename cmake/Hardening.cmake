# A release build is hardened the way Debian builds its packages: fortified
# libc calls, stack protector, read-only relocations bound at start. Included
# before any target is made, so it applies to every target of the tree.
add_compile_options("$<$<CONFIG:Release>:-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
add_link_options("$<$<CONFIG:Release>:LINKER:-z,relro,-z,now>")
