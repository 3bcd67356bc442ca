#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a realistic temperature log: one-minute records with a weather of their own each day.

Where make_log.py repeats the same smooth waves every day, here the days differ (sunny or
cloudy, mild or cold), the collector warms only while the sun is up, the hot water dips when it
is drawn in the morning, and every reading carries a little noise. The output depends only on
the arguments, so a sample made once can be made again byte for byte:

    tools/make_sample_log.py samples/sample.log --days 3
"""
import argparse
import math
import random
import sys

from make_log import HEADER_SIZE, SECONDS_PER_DAY, pack_record, start_time_stamp

HEADER_TEXT = b"Velkarn Oriq II sample log, made by tools/make_sample_log.py"
NOISE = 0.3  # degrees Celsius either way


def daily_wave(hour, peak_hour):
    """-1 .. 1 over one day, highest at peak_hour."""
    return math.cos(2 * math.pi * (hour - peak_hour) / 24)


def sunshine(hour):
    """0 at night, rising to 1 at noon and back to 0 by evening."""
    return max(0.0, math.sin(math.pi * (hour - 7) / 10)) if 7 <= hour <= 17 else 0.0


class Weather:
    """Per day: how sunny it is and how much milder than usual, drawn once from the seed."""

    def __init__(self, days, rng):
        self.sun = [rng.uniform(0.15, 1.0) for _ in range(days)]
        self.mild = [rng.uniform(-4.0, 6.0) for _ in range(days)]


def temperatures(day, hour, weather, rng):
    """The five channels in degrees Celsius, in record order TSA1, TSE, TW, TSV, TAM."""
    sun = weather.sun[day] * sunshine(hour)
    outside = 4.0 + weather.mild[day] + 5.0 * daily_wave(hour, 15)
    collector = outside + 8.0 + 62.0 * sun
    storage = 38.0 + 9.0 * weather.sun[day] + 4.0 * daily_wave(hour, 17)
    hot_water = 52.0 + 3.0 * daily_wave(hour, 18) - (4.0 if 6.5 <= hour < 7.5 else 0.0)
    flow = 36.0 - 0.8 * outside + 3.0 * daily_wave(hour, 6)
    channels = (collector, storage, hot_water, flow, outside)
    return [value + rng.uniform(-NOISE, NOISE) for value in channels]


def write_log(path, first, days, interval, seed):
    """Writes days of records every interval seconds from time stamp first; returns the count."""
    rng = random.Random(seed)
    # A start after midnight reaches into one more calendar day.
    weather = Weather(days + 1, rng)
    count = days * SECONDS_PER_DAY // interval
    with open(path, "wb") as out:
        out.write(HEADER_TEXT.ljust(HEADER_SIZE, b"\0"))
        for n in range(count):
            time_stamp = first + n * interval
            # Time stamps count from a midnight of the log's clock: they give the hour directly.
            hour = time_stamp % SECONDS_PER_DAY / 3600
            day = time_stamp // SECONDS_PER_DAY - first // SECONDS_PER_DAY
            tenths = [round(10 * value) for value in temperatures(day, hour, weather, rng)]
            out.write(pack_record(time_stamp, tenths))
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="log file to write")
    parser.add_argument("--days", type=int, default=21, help="days of records (default: %(default)s)")
    parser.add_argument("--start", default="2026-02-09T00:00",
                        help="first record's date and time at UTC+01:00 (default: %(default)s)")
    parser.add_argument("--interval", type=int, default=60,
                        help="seconds between records (default: %(default)s)")
    parser.add_argument("--seed", type=int, default=7, help="seed of the days' weather (default: %(default)s)")
    args = parser.parse_args()

    first = start_time_stamp(args.start)
    if args.days < 1 or args.interval < 1:
        sys.exit("make_sample_log.py: --days and --interval must be at least 1")
    if not -2**31 <= first or not first + args.days * SECONDS_PER_DAY <= 2**31:
        sys.exit("make_sample_log.py: time stamps must fit in 32 bits")
    count = write_log(args.output, first, args.days, args.interval, args.seed)
    print(f"{args.output}: {count} records from {args.start} (UTC+01:00)")


if __name__ == "__main__":
    main()
