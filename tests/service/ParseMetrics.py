#!/usr/bin/python3
"""Prints every sample of a Prometheus text file as the Prometheus client's own parser reads
it, one a line: TYPE NAME{LABEL="VALUE",...} VALUE, labels sorted. Exits with 1 when the
file does not parse."""
import sys

from prometheus_client.parser import text_string_to_metric_families


def main():
    with open(sys.argv[1], encoding="utf-8") as file:
        text = file.read()
    try:
        for family in text_string_to_metric_families(text):
            for sample in family.samples:
                labels = ",".join(f'{name}="{value}"' for name, value in sorted(sample.labels.items()))
                value = int(sample.value) if float(sample.value).is_integer() else sample.value
                print(f"{family.type} {sample.name}{{{labels}}} {value}")
    except ValueError as error:
        print(f"does not parse: {error}", file=sys.stderr)
        return 1
    return 0


sys.exit(main())
