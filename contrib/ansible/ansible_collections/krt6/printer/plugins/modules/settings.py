#!/usr/bin/python
# -*- coding: utf-8 -*-
# Applies a K-RT6 configuration to printers attached to or reachable from the managed host.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: settings
short_description: Apply a configuration to K-RT6 label printers
version_added: "0.18.0"
description:
  - Writes a configuration (parameter block, LAN settings or both) to one or more K-RT6 printers
    reachable from the managed host, by running C(krt6ctl --json set) there.
  - A partial configuration is allowed; the fields it does not name keep the printer's current
    values. A printer that already holds the configuration is not written. After a write
    C(krt6ctl) reads the block back and compares it.
  - All targets are handled in one C(krt6ctl) run, up to C(jobs) at a time. A target that fails
    does not stop the others; the task then fails, naming each failed target and its reason,
    and still returns every target's result.
  - All knowledge of the printer lies in C(krt6ctl); see its documentation (C(docs/krt6ctl.md))
    for the target forms and the configuration keys and values.
options:
  targets:
    description:
      - The printers, in the target forms of C(krt6ctl), for example C(socket://10.1.0.20),
        C(socket://10.1.0.21:9100), C(serial:/dev/serial/by-id/usb-XYZ?baud=19200),
        C(parallel:/dev/usb/lp0), C(usb:), C(usb:1-2.3) or C(usb:?serial=K6A00123).
      - An element may also be a dictionary with the key C(target) and the printer's own
        C(parameters) and C(lan), which are laid over the task's (its values win), so that
        host variables can carry each printer's address and host name. The module passes them
        to C(krt6ctl) as a targets table (C(--targets FILE.csv)), which checks every row before
        anything is sent; two printers given one C(ip_address) or C(dhcp_hostname) are refused.
    type: list
    elements: raw
    required: true
    aliases: [target]
  parameters:
    description:
      - Fields of the parameter block, in the JSON keys of C(krt6ctl) (C(comm_speed),
        C(parity), C(auto_calib), ...) with their values as C(krt6ctl) reads them, for example
        C(comm_speed) set to C(19200 bps).
      - A number for C(comm_speed), C(data_length) or C(stop_bit) is the value, never an item
        index, as C(krt6ctl) reads KEY=VALUE pairs. C(stop_bit) set to C(1) is C(1 bit),
        C(comm_speed) set to C(19200) is C(19200 bps), and a number that is none of the values
        fails the task. In lists whose items carry no number (C(font_code), C(parity), ...) a
        number is the item index.
      - Quote texts such as C("ON") in YAML, which would otherwise read them as booleans.
      - Excludes C(src).
    type: dict
  lan:
    description:
      - Fields of the LAN settings, in the JSON keys of C(krt6ctl) (C(ip_address),
        C(subnet_mask), C(default_gateway), C(socket_port), C(dhcp), C(dhcp_hostname), ...).
      - Excludes C(src).
    type: dict
  src:
    description:
      - A configuration file on the managed host, by its extension a C(krt6ctl) JSON
        configuration (C(.json)) or a setting file (C(.ts0), C(.ts1)).
      - A relative path is taken from the module's working folder (on the local connection the
        playbook's folder); an absolute path is safer.
      - Excludes C(parameters) and C(lan).
    type: path
  verify:
    description:
      - Read each written block back and fail the target when it differs. C(false) passes
        C(--no-verify).
    type: bool
    default: true
  firmware:
    description:
      - The firmware version to write for, passed as C(--firmware); needed for targets that
        cannot answer (a parallel port), which also need a full configuration.
    type: str
  backup:
    description:
      - A folder on the managed host to back up every target to before anything is written.
        C(krt6ctl backup) writes each printer's whole configuration into a new folder in it,
        named by the time (C(krt6-YYYYMMDDTHHMMSSZ)), which C(krt6ctl restore) takes back.
        A target that cannot be backed up fails the task before any printer is written.
        Not in check mode.
    type: path
  keep_identity:
    description:
      - Leave each printer its own identity, passing C(--keep-identity) to C(krt6ctl set),
        which drops C(ip_address) and C(dhcp_hostname) from the configuration. Use it to apply
        one printer's configuration (such as the C(settings) fact of M(krt6.printer.info)) to
        several printers. Needs a C(krt6ctl) whose C(set --help) lists C(--keep-identity).
      - Without it, a configuration that would give several targets one IP address is refused
        by C(krt6ctl) before anything is sent, and the task fails with C(krt6ctl)'s reason.
    type: bool
    default: false
extends_documentation_fragment:
  - krt6.printer.krt6ctl
attributes:
  check_mode:
    support: full
    description: Runs C(krt6ctl set --check), which reads the printers and writes nothing.
  diff_mode:
    support: full
    description: Shows, per target, the fields that differ, before and after.
notes:
  - In check mode a target that would be written counts as changed. C(krt6ctl set --check) then
    ends with exit status 3 (drift), which is no failure; the changes come from its results.
  - When C(krt6ctl) refuses the run as a whole with exit status 2 (for an unknown key, a value
    no printer takes, one IP address for several targets), nothing is sent to any printer and
    the task fails with C(krt6ctl)'s own words in C(msg), in check mode as well.
  - The managed host needs C(krt6ctl) and access to the printers' ports (the C(dialout) group
    for serial ports, C(lp) for parallel ports, a udev rule for USB).
seealso:
  - module: krt6.printer.info
author:
  - K-RT6 Setting Tool developers
'''

EXAMPLES = r'''
- name: Set the line speed and the site's gateway on two network printers
  krt6.printer.settings:
    targets:
      - socket://10.1.0.20
      - socket://10.1.0.21
    parameters:
      comm_speed: 19200 bps
    lan:
      subnet_mask: 255.255.255.0
      default_gateway: 10.1.0.1

- name: Apply a setting file to the printer on the workstation's USB port
  krt6.printer.settings:
    targets: ["usb:"]
    src: /etc/krt6/counter.ts0
    krt6ctl: /usr/local/bin/krt6ctl

- name: Give the counter printers the configuration of the first one, each keeping its address
  krt6.printer.settings:
    targets:
      - socket://10.1.0.21
      - socket://10.1.0.22
    parameters: "{{ ansible_facts.krt6_printers['socket://10.1.0.20'].settings.parameters }}"
    lan: "{{ ansible_facts.krt6_printers['socket://10.1.0.20'].settings.lan }}"
    keep_identity: true

- name: Give each counter printer its own address and host name from its host variables
  krt6.printer.settings:
    targets:
      - target: socket://10.1.0.21
        lan: {ip_address: 10.1.0.21, dhcp_hostname: COUNTER01}
      - target: socket://10.1.0.22
        lan: {ip_address: 10.1.0.22, dhcp_hostname: COUNTER02}
    parameters:
      comm_speed: 19200 bps

- name: See what would change on a serial printer, without writing
  krt6.printer.settings:
    targets: ["serial:/dev/ttyUSB0?baud=9600"]
    src: /etc/krt6/site.json
  check_mode: true
  diff: true
  register: preview
'''

RETURN = r'''
target_results:
  description: One result a target, in the order of C(targets), as C(krt6ctl --json) reports it.
  returned: when krt6ctl ran
  type: list
  elements: dict
  contains:
    target:
      description: The target as given.
      type: str
      sample: socket://10.1.0.20
    ok:
      description: Whether this target succeeded.
      type: bool
    code:
      description: >-
        0 success; 1 port open error, 2 transmission, 3 receiving, 4 file, 5 unknown,
        6 cancelled, 7 the read-back differs from what was written, 8 the target cannot do this,
        9 the firmware cannot receive some keys given (the others were written), 10 interrupted,
        11 not started (the run was interrupted first), 12 a value the firmware's commands cannot
        carry (nothing written).
      type: int
      sample: 0
    result:
      description: The text of the code.
      type: str
      sample: Success
    detail:
      description: Details of a failure, such as the link's error and a hint.
      type: str
      sample: ""
    changed:
      description: Whether a Set command reached the printer, also when something failed after.
      type: bool
    changes:
      description: The fields written (in check mode, those that would be).
      type: list
      elements: dict
      sample: [{"key": "parameters.comm_speed", "before": "9600 bps", "after": "19200 bps"}]
    data:
      description: The configuration now on the printer, in the JSON format of krt6ctl.
      type: dict
    elapsed_ms:
      description: Time the target took, in milliseconds.
      type: float
failed_targets:
  description: The targets that failed, each with its reason.
  returned: always
  type: list
  elements: str
  sample: ["socket://10.1.0.22: Port open error (Connection refused)"]
msg:
  description: A summary, or on failure each failed target and its reason.
  returned: always
  type: str
  sample: "2 targets: 1 written, 1 unchanged"
backup_dir:
  description: The folder the targets were backed up to, when C(backup) was given.
  returned: when a backup was made
  type: str
  sample: /var/backups/krt6/krt6-20261209T101500Z
cmd:
  description: The krt6ctl command line (on failure).
  returned: failure
  type: list
  elements: str
'''

import csv
import json
import os
import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.krt6.printer.plugins.module_utils import krt6ctl


def inline_configuration(module):
    """Writes the inline parts to a JSON file in the module's temporary folder."""
    document = {'format': 'krt6-settings', 'version': 1}
    for part in ('parameters', 'lan'):
        if module.params[part] is not None:
            document[part] = module.params[part]
    path = os.path.join(module.tmpdir, 'configuration.json')
    with open(path, 'w') as f:
        json.dump(document, f)
    return path


def target_entries(module):
    """The targets as dictionaries {target, parameters, lan}; a plain text has no values."""
    entries = []
    for element in module.params['targets']:
        if isinstance(element, str):
            element = {'target': element}
        if not isinstance(element, dict) or not isinstance(element.get('target'), str):
            module.fail_json(msg='each target is a krt6ctl target text or a dictionary with '
                             'the key target, not %r' % (element,))
        unknown = sorted(set(element) - {'target', 'parameters', 'lan'})
        if unknown:
            module.fail_json(msg='target %s: unknown keys %s (target, parameters and lan are '
                             'known)' % (element['target'], ', '.join(unknown)))
        for part in ('parameters', 'lan'):
            if not isinstance(element.get(part, {}), dict):
                module.fail_json(msg='target %s: %s is no dictionary' % (element['target'], part))
        entries.append(element)
    return entries


def cell(value):
    """A value as krt6ctl reads it in a KEY=VALUE pair."""
    if isinstance(value, bool):
        return 'ON' if value else 'OFF'
    return str(value)


def targets_table(module, entries):
    """Writes the targets with values of their own as a CSV targets table; None when none has."""
    columns = sorted({'%s.%s' % (part, key) for e in entries for part in ('parameters', 'lan')
                      for key in e.get(part, {})})
    if not columns:
        return None
    path = os.path.join(module.tmpdir, 'targets.csv')
    with open(path, 'w', newline='') as f:
        writer = csv.writer(f, lineterminator='\n')
        writer.writerow(['target'] + columns)
        for e in entries:
            own = {'%s.%s' % (part, key): cell(value)
                   for part in ('parameters', 'lan') for key, value in e.get(part, {}).items()}
            writer.writerow([e['target']] + [own.get(c, '') for c in columns])
    return path


def target_diff(result):
    before = ''.join('%s: %s\n' % (c['key'], c['before']) for c in result['changes'])
    after = ''.join('%s: %s\n' % (c['key'], c['after']) for c in result['changes'])
    return dict(before=before, after=after, before_header=result['target'],
                after_header=result['target'])


def main():
    arguments = dict(
        parameters=dict(type='dict'),
        lan=dict(type='dict'),
        src=dict(type='path'),
        verify=dict(type='bool', default=True),
        firmware=dict(type='str'),
        keep_identity=dict(type='bool', default=False),
        backup=dict(type='path'),
    )
    arguments.update(krt6ctl.COMMON_ARGS)
    arguments['targets'] = dict(type='list', elements='raw', required=True, aliases=['target'])
    module = AnsibleModule(
        argument_spec=arguments,
        mutually_exclusive=[('src', 'parameters'), ('src', 'lan')],
        supports_check_mode=True,
    )
    p = module.params
    entries = target_entries(module)
    table = targets_table(module, entries)
    src = p['src']
    if src is not None and not os.path.isabs(src):
        src = os.path.join('.', src)  # so that a name beginning with '-' is no option
    if src is None and p['parameters'] is None and p['lan'] is None and table is None:
        module.fail_json(msg='one of the following is required: src, parameters, lan '
                         '(or values of the targets\' own)')
    args = []
    if src is not None:
        args.append(src)
    elif p['parameters'] is not None or p['lan'] is not None:
        args.append(inline_configuration(module))
    if module.check_mode:
        args.append('--check')
    if not p['verify']:
        args.append('--no-verify')
    if p['firmware']:
        args += ['--firmware', p['firmware']]
    if p['keep_identity']:
        args.append('--keep-identity')

    targets = [e['target'] for e in entries]
    backup_dir = None
    if p['backup'] and not module.check_mode:
        backup_dir = os.path.join(p['backup'], time.strftime('krt6-%Y%m%dT%H%M%SZ', time.gmtime()))
        rc, saved = krt6ctl.run(module, 'backup', [backup_dir], targets)
        if krt6ctl.failures(saved):
            module.fail_json(msg='the backup before writing failed, nothing was written: ' +
                             krt6ctl.failure_message(saved), rc=rc, backup_dir=backup_dir,
                             target_results=saved)
    rc, results = krt6ctl.run(module, 'set', args, targets, table)
    for r in results:
        r.setdefault('changes', [])
    if module.check_mode:
        # Nothing was written: a target counts as changed when it would be written.
        touched = [r for r in results if r.get('ok') and r['changes']]
    else:
        touched = [r for r in results if r.get('changed')]
    outcome = dict(changed=bool(touched), target_results=results,
                   failed_targets=[krt6ctl.reason(r) for r in krt6ctl.failures(results)])
    if backup_dir is not None:
        outcome['backup_dir'] = backup_dir
    if module._diff:
        outcome['diff'] = [target_diff(r) for r in results if r['changes']]
    if outcome['failed_targets']:
        module.fail_json(msg=krt6ctl.failure_message(results), rc=rc, **outcome)
    verb = 'would be written' if module.check_mode else 'written'
    outcome['msg'] = '%d targets: %d %s, %d unchanged' % (len(results), len(touched), verb,
                                                          len(results) - len(touched))
    module.exit_json(**outcome)


if __name__ == '__main__':
    main()
