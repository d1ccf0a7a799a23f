"""The end-to-end cases of the Windows program under Wine (run_e2e)."""
