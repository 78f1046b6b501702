// Winsock shim.
