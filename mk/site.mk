# The demo site on 127.0.0.1 (scripts/site.sh); SITE_ARGS passes more options,
# e.g. SITE_ARGS="--version 2.2 --package build/linux/vondrel".
SITE_PORT ?= 8936
SITE_STATE ?= build/site
SITE_ARGS ?=

.PHONY: site-start site-stop site-status

site-start:
	@bash scripts/site.sh start --port $(SITE_PORT) --state $(SITE_STATE) $(SITE_ARGS)

site-stop:
	@bash scripts/site.sh stop --state $(SITE_STATE)

site-status:
	@bash scripts/site.sh status --state $(SITE_STATE)
