"""The checks of Auto Quillmer: run through scripts/test.sh, which finds this package from the
repository's root (tests/harness/common.sh)."""
