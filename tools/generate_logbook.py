#!/usr/bin/env python3
"""Writes an ADIF logbook of real-shaped, seeded random records: what the test logbook
service (fake_logbook.py) serves from its logbook.adi.

    generate_logbook.py --count N [--seed S] --output FILE

The same seed and count always give the same file. Records are confirmed
(<app_qrzlog_status:1>C) or not (N, or no status at all); on the nine award bands and on
others (6m, 2m, 60m); United States records carry their state in capitals or in lower
case; Alaska and Hawaii come as their own countries; there are DC, Canadian provinces and
about a hundred other countries (some with blanks, some long). Now and then a record has
an odd field: an extra field, a field of length 0, a type indicator, a long comment, a
state of the wrong length, or no state at all. Every record carries its logbook record
number (app_qrzlog_logid), rising through the file with gaps, as the logbook service
numbers them. Every field's length is its value's length in bytes, as ADIF writes it.
"""

import argparse
import random
import sys

AWARD_BANDS = ["10m", "12m", "15m", "17m", "20m", "30m", "40m", "80m", "160m"]
OTHER_BANDS = ["6m", "2m", "60m"]
FREQUENCIES = {"10m": 28.074, "12m": 24.915, "15m": 21.074, "17m": 18.100, "20m": 14.074,
               "30m": 10.136, "40m": 7.074, "80m": 3.573, "160m": 1.840, "6m": 50.313,
               "2m": 144.174, "60m": 5.357}
STATES = ["AL", "AK", "AZ", "AR", "CA", "CO", "CT", "DE", "FL", "GA", "HI", "ID", "IL", "IN",
          "IA", "KS", "KY", "LA", "ME", "MD", "MA", "MI", "MN", "MS", "MO", "MT", "NE", "NV",
          "NH", "NJ", "NM", "NY", "NC", "ND", "OH", "OK", "OR", "PA", "RI", "SC", "SD", "TN",
          "TX", "UT", "VT", "VA", "WA", "WV", "WI", "WY"]
PROVINCES = ["AB", "BC", "MB", "NB", "NL", "NS", "NT", "NU", "ON", "PE", "QC", "SK", "YT"]
COUNTRIES = [
    "Afghanistan", "Aland Islands", "Albania", "Algeria", "Andorra", "Angola", "Argentina",
    "Armenia", "Aruba", "Asiatic Russia", "Australia", "Austria", "Azores", "Bahamas",
    "Bahrain", "Balearic Islands", "Barbados", "Belarus", "Belgium", "Belize", "Bermuda",
    "Bolivia", "Bonaire", "Bosnia-Herzegovina", "Brazil", "Bulgaria", "Canary Islands",
    "Cayman Islands", "Chile", "China", "Colombia", "Corsica", "Costa Rica", "Crete",
    "Croatia", "Cuba", "Curacao", "Cyprus", "Czech Republic", "Denmark", "Dominican Republic",
    "Ecuador", "Egypt", "England", "Estonia", "European Russia", "Faroe Islands", "Fiji",
    "Finland", "France", "Federal Republic of Germany", "Greece", "Greenland", "Guatemala",
    "Guernsey", "Honduras", "Hungary", "Iceland", "India", "Indonesia", "Ireland",
    "Isle of Man", "Israel", "Italy", "Jamaica", "Japan", "Jersey", "Kazakhstan", "Kenya",
    "Latvia", "Lithuania", "Luxembourg", "Madeira Islands", "Malta", "Mexico", "Moldova",
    "Monaco", "Montenegro", "Morocco", "Netherlands", "New Zealand", "Northern Ireland",
    "Norway", "Panama", "Paraguay", "Peru", "Philippines", "Poland", "Portugal",
    "Puerto Rico", "Romania", "Sardinia", "Scotland", "Serbia", "Slovak Republic",
    "Slovenia", "South Africa", "Spain", "Sweden", "Switzerland", "Thailand",
    "Trindade & Martim Vaz Islands", "Turkey", "Ukraine", "Uruguay", "US Virgin Islands",
    "Venezuela", "Wales", "St. Vincent", "Heard Island",
    "South Georgia Island", "Democratic Republic of the Congo",
]
MODES = ["SSB", "CW", "FT8", "FT4", "RTTY", "AM", "FM", "JT65"]
LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"


def field(name, value, type_indicator=""):
    data = value.encode("utf-8")
    tag = f"<{name}:{len(data)}{':' + type_indicator if type_indicator else ''}>"
    return tag.encode("ascii") + data


def call_sign(rng, prefix):
    return prefix + str(rng.randrange(10)) + "".join(
        rng.choice(LETTERS) for _ in range(rng.randint(1, 3)))


def record(rng, logid):
    band = rng.choice(AWARD_BANDS) if rng.random() < 0.9 else rng.choice(OTHER_BANDS)
    where = rng.random()
    fields = []
    state = None
    if where < 0.45:
        country, state = "United States", rng.choice(STATES + ["DC"])
        prefix = rng.choice(["W", "K", "N", "AA", "KB", "WA"])
    elif where < 0.50:
        country, state, prefix = "Alaska", "AK", "KL"
    elif where < 0.54:
        country, state, prefix = "Hawaii", "HI", "KH"
    elif where < 0.62:
        country, state, prefix = "Canada", rng.choice(PROVINCES), rng.choice(["VE", "VA"])
    else:
        country, prefix = rng.choice(COUNTRIES), rng.choice(["DL", "G", "F", "JA", "EA", "I"])
    if state is not None and rng.random() < 0.3:
        state = state.lower()
    if state is not None and rng.random() < 0.05:
        state = None  # a record without its state

    fields.append(field("call", call_sign(rng, prefix)))
    date = f"20{rng.randint(10, 24):02d}{rng.randint(1, 12):02d}{rng.randint(1, 28):02d}"
    fields.append(field("qso_date", date, "D" if rng.random() < 0.1 else ""))
    fields.append(field("time_on", f"{rng.randint(0, 23):02d}{rng.randint(0, 59):02d}"))
    fields.append(field("band", band))
    fields.append(field("freq", f"{FREQUENCIES[band] + rng.random() / 100:.5f}"))
    fields.append(field("mode", rng.choice(MODES)))
    fields.append(field("country", country))
    odd = rng.random()
    if state is not None:
        # Now and then a state of the wrong length.
        fields.append(field("state", state + "X" if odd < 0.01 else state))
    status = rng.random()
    if status < 0.55:
        fields.append(field("app_qrzlog_status", "C"))
    elif status < 0.85:
        fields.append(field("app_qrzlog_status", "N"))
    fields.append(field("rst_sent", rng.choice(["59", "599", "-10", "+03"])))

    if odd < 0.03:
        fields.append(field("comment", "tnx " * rng.randint(20, 80)))  # a long value
    elif odd < 0.05:
        fields.append(field("notes", ""))  # a field of length 0
    elif odd < 0.07:
        fields.append(field("srx", str(rng.randint(10**8, 10**9))))  # a contest serial
    elif odd < 0.08:
        fields.append(field("qth", "Malm\u00f6 <Sk\u00e5ne>"))  # non-ASCII, and a "<"
    fields.append(field("app_qrzlog_logid", str(logid)))
    rng.shuffle(fields)
    return b"".join(fields) + b"<eor>\n"


def main():
    parser = argparse.ArgumentParser(description="Writes a seeded ADIF logbook.")
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    if args.count < 0:
        parser.error("--count must not be negative")
    rng = random.Random(args.seed)
    header = (b"Generated test logbook\n" + field("adif_ver", "3.1.0") +
              field("programid", "generate_logbook") + b"<eoh>\n")
    with open(args.output, "wb") as out:
        out.write(header)
        logid = 100000000
        for _ in range(args.count):
            logid += rng.randint(1, 5)
            out.write(record(rng, logid))
    return 0


if __name__ == "__main__":
    sys.exit(main())
