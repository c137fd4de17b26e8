#!/usr/bin/env bash
# Continuous integration, fuzzing: builds the libFuzzer targets (clang,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs each for about a
# minute with a fixed seed from the seed corpora. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null

# What the fuzz build needs from Debian's packages: clang 14 and its
# runtime libraries, libFuzzer among them.
packages=(cmake ninja-build clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

echo "==> fuzz build"
cmake --preset fuzz
cmake --build --preset fuzz

echo "==> fuzz smoke run"
fuzz/run_smoke.sh build/fuzz
