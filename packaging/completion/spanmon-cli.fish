# fish completion for spanmon-cli: commands, options, serial ports and the words of each command.

# The command and how many words follow it ("port 1"), skipping options and their values;
# just the count ("0") before the command.
function __spanmon_cli_place
    set -l valued --serial --snmp --settings --range --off-seconds --timeout --retries
    set -l words (commandline -opc)
    set -e words[1]
    set -l command
    set -l after 0
    set -l skip 0
    for word in $words
        if test $skip -eq 1
            set skip 0
        else if contains -- $word $valued
            set skip 1
        else if not string match -q -- '-*' $word
            if test -z "$command"
                set command $word
            else
                set after (math $after + 1)
            end
        end
    end
    string join ' ' $command $after
end

function __spanmon_cli_at
    test "$(__spanmon_cli_place)" = "$argv"
end

function __spanmon_cli_serial_ports
    for port in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*
        string replace /dev/ '' $port
    end
end

complete -c spanmon-cli -f
complete -c spanmon-cli -n '__spanmon_cli_at 0' -a find -d 'list the midspans'
complete -c spanmon-cli -n '__spanmon_cli_at 0' -a status -d 'the unit and every port'
complete -c spanmon-cli -n '__spanmon_cli_at 0' -a port -d 'switch ports on or off, or cycle them'
complete -c spanmon-cli -n '__spanmon_cli_at 0' -a describe -d 'name a port'
complete -c spanmon-cli -n '__spanmon_cli_at 0' -a describe-system -d 'name the midspan'
complete -c spanmon-cli -n '__spanmon_cli_at find 0' -a serial -d 'on the serial ports'
complete -c spanmon-cli -n '__spanmon_cli_at port 0' -a all -d 'every port (or 3, 3,5-7)'
complete -c spanmon-cli -n '__spanmon_cli_at port 1' -a 'on off cycle'

complete -c spanmon-cli -l serial -x -a '(__spanmon_cli_serial_ports)' -d 'the midspan on a serial port'
complete -c spanmon-cli -l snmp -x -d 'the SNMP agent at ADDRESS or ADDRESS:PORT'
complete -c spanmon-cli -l v3 -d 'use the SNMPv3 user of the settings file'
complete -c spanmon-cli -l settings -r -F -d 'the network link settings'
complete -c spanmon-cli -l timeout -x -d 'how long each SNMP try waits, in seconds'
complete -c spanmon-cli -l retries -x -d 'SNMP tries after the first'
complete -c spanmon-cli -l range -x -d 'find: the addresses A.B.C.D-E'
complete -c spanmon-cli -l off-seconds -x -d 'port ... cycle: how long the ports stay off'
complete -c spanmon-cli -l json -d 'write one JSON document'
complete -c spanmon-cli -s t -l terse -d 'lines of colon-separated fields'
complete -c spanmon-cli -l no-header -d 'leave the header out of the table'
complete -c spanmon-cli -s q -l quiet -d 'write nothing, only the exit code tells'
complete -c spanmon-cli -l verbose -d 'say which settings file is used'
complete -c spanmon-cli -s h -l help -d 'show the help'
complete -c spanmon-cli -s V -l version -d 'show the version'
