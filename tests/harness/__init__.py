"""What the checks share: the tally and the repository's facts (checklist), the reader of the
built Windows programs (pefacts) and the Wine session with its keeper (wine)."""
