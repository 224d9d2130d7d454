# `make bench`: every host benchmark executable, then every bench/*.sh script
# (which may boot QEMU or call peer tools). Speed goals live here, never in tests.
.PHONY: bench
bench: deps
	@$(MAKE) --no-print-directory host kernel
	@for b in $(HOST_BUILD)/bench_*; do [ -x "$$b" ] || continue; echo "== $$(basename $$b)"; "$$b" || exit 1; done
	@for s in bench/*.sh; do [ -f "$$s" ] || continue; echo "== $$s"; sh "$$s" || exit 1; done
