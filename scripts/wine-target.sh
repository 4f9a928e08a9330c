#!/usr/bin/env bash
# Prints the Windows target whose programs this host can run under Wine: i686,
# or x86_64 where the kernel runs no 32-bit code (32-bit Wine cannot start
# there, so tests and benchmarks run a 64-bit build of the same sources).
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
