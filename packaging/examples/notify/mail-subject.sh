#!/bin/sh
# Kept for configurations that still name it: tarvek-publish now gives its
# notification command a whole mail (a subject, an empty line, the summary
# lines), so this only hands it on to the command that its arguments name.
#   notify_command = /usr/bin/msmtp -a plant shift@plant.example
# does the same without it.
exec "$@"
