#!/bin/sh
# Gives the notification of tarvek-publish a subject, then hands the mail to
# the command that its arguments name. In /etc/tarvek/publish.conf:
#   notify_command = /bin/sh /usr/share/doc/tarvek/examples/notify/mail-subject.sh /usr/bin/msmtp -a plant shift@plant.example
# The event is in TARVEK_* variables; the summary lines come on standard input
# and become the body. Values are only ever expanded inside double quotes, so
# a description is text, never a command.
set -eu
if [ "$TARVEK_EVENT" = SUMMARY ]; then
    subject="TARVEK: $TARVEK_COUNT older alarm events"
elif [ "$TARVEK_COUNT" -gt 1 ]; then
    subject="TARVEK: $TARVEK_COUNT alarm events, the first $TARVEK_KIND $TARVEK_EVENT"
else
    subject="TARVEK: $TARVEK_KIND $TARVEK_EVENT ${TARVEK_CHANNEL:+Ch.$TARVEK_CHANNEL }$TARVEK_NAME"
fi
{
    printf 'Subject: %s\n' "$subject"
    printf 'Content-Type: text/plain; charset=UTF-8\n\n'
    cat
} | "$@"
