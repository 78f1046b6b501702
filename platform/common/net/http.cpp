// HTTP wire code shared by the engine and the read.
