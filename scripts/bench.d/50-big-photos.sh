#!/bin/bash
# A 12-megapixel RGB layer through each plug-in in GIMP batch mode: time
# and peak memory per pixel (scripts/big-photos; make test-long adds 50 MP).
exec scripts/big-photos 12
