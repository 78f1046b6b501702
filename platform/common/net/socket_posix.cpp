// POSIX socket shim.
