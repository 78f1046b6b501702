# `make bench`: vondrel-fetch against aria2c, axel and curl on nginx over
# loopback (bench/bench.sh). Not part of `make test`.
.PHONY: bench

bench: configure
	@cmake --build --preset linux -j $(JOBS) --target vondrel-fetch
	@bash bench/bench.sh $(BUILD)/bench/vondrel-fetch build/bench
