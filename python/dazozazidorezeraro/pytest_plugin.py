"""A pytest plugin with a ``virtual_instrument`` fixture.

Installed with the package, pytest loads it by itself (entry point
``pytest11``); a test then needs nothing but the fixture::

    from dazozazidorezeraro import Session

    def test_reads_angles(virtual_instrument):
        with Session.connect(virtual_instrument.address) as session:
            assert session.angles().v > 0

Without the entry point (a source tree), ``pytest -p
dazozazidorezeraro.pytest_plugin`` or ``pytest_plugins =
["dazozazidorezeraro.pytest_plugin"]`` loads it (either still works with
the package installed). Mark a test with
``@pytest.mark.virtual_instrument(faults=..., seed=..., scene=...)`` to
give the instrument arguments.
"""

from __future__ import annotations

from typing import Iterator

import pytest

from .simulator import VirtualInstrument


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers",
        "virtual_instrument(**arguments): the arguments of the "
        "virtual_instrument fixture's VirtualInstrument")


@pytest.fixture
def virtual_instrument(request: pytest.FixtureRequest
                       ) -> Iterator[VirtualInstrument]:
    """A VirtualInstrument serving for the test, stopped after it."""
    marker = request.node.get_closest_marker("virtual_instrument")
    arguments = dict(marker.kwargs) if marker else {}
    with VirtualInstrument(**arguments) as instrument:
        yield instrument
