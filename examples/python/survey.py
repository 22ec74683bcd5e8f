"""Points the telescope at each prism of the virtual instrument's scene and
measures it, then meets a time-out; the same code runs against a real
instrument with Session.connect("HOST:PORT").

    PYTHONPATH=build/default/python python3 examples/python/survey.py
"""

import math

from dazozazidorezeraro import (CallTimeout, ReturnCodeError, Session,
                                VirtualInstrument)


def direction_to(station, prism):
    """The horizontal and zenith angles from the station to the prism."""
    east = prism.easting - station["easting"]
    north = prism.northing - station["northing"]
    up = prism.height - station["height"] - station["instrument_height"]
    hz = (math.atan2(east, north) - station["orientation"]) % (2 * math.pi)
    return hz, math.atan2(math.hypot(east, north), up)


def main():
    with VirtualInstrument(seed=7) as instrument, \
            Session.connect(instrument.address) as session:
        print(f"connected to {session.name}: {session.instrument_name().name}")
        session.set_atr_state(True)
        for prism in instrument.prisms:
            hz, v = direction_to(instrument.station, prism)
            session.position(hz, v)
            try:
                session.fine_adjust(0.01, 0.01)
                measured = session.simple_measurement()
            except ReturnCodeError as error:
                print(f"{prism.id}: no target ({error.return_code})")
                continue
            print(f"{prism.id}: hz={measured.hz:.4f} rad v={measured.v:.4f} rad"
                  f" distance={measured.slope_distance:.3f} m")
        instrument.inject("angles", "drop")
        try:
            session.angles(timeout=0.2)
        except CallTimeout as error:
            print(f"as expected: {error}")
        print(f"session counts: {session.counts}")


if __name__ == "__main__":
    main()
