"""The template checks' old name for tests.harness.checklist, until they import it from there."""
from tests.harness.checklist import Checks, program_texts, project_version  # noqa: F401
