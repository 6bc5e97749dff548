#!/bin/sh
# Stands in for hmxplay in a test of the check script itself: it removes
# the settings file it is given (hmxplay --settings FILE ...).
rm -f "$2"
