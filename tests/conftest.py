import os

from hypothesis import HealthCheck, settings


def register_profile(name, **options):
    settings.register_profile(
        name,
        deadline=None,
        suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
        **options,
    )


register_profile("ci", derandomize=True, max_examples=300)
register_profile("dev", max_examples=1000)
# The cross-section (`-m cross`) run under emulated CPUs, where Python is
# slow: few examples, each still straddling the word boundaries.
register_profile("cross", derandomize=True, max_examples=12)
# Under the sanitizers, whose instrumented build runs several times slower: what
# they check is every path's memory use, which a third of the examples still
# reaches; the comparison with the models at full count is the other runs' job.
register_profile("sanitize", derandomize=True, max_examples=100)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "ci"))
