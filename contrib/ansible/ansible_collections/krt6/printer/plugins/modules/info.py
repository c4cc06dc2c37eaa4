#!/usr/bin/python
# -*- coding: utf-8 -*-
# Gathers status, firmware version and configuration of K-RT6 printers as facts.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: info
short_description: Gather status, firmware version and configuration of K-RT6 printers
version_added: "0.18.0"
description:
  - Reads each target's status (C(krt6ctl status)), firmware version (C(krt6ctl version)) and
    configuration (C(krt6ctl get)) on the managed host and returns them as the fact
    C(krt6_printers), keyed by target. Nothing is written to any printer.
  - A target that fails any of the reads makes the task fail, naming the target and the reason;
    the facts of every target are still returned in C(printers).
options:
  targets:
    description:
      - The printers, in the target forms of C(krt6ctl) (C(socket://HOST[:PORT]),
        C(serial:DEVICE[?OPTIONS]), C(parallel:DEVICE), C(usb:), C(usb:BUS-PORTPATH),
        C(usb:?serial=STRING)).
      - A parallel port cannot answer, so nothing can be read from it.
    type: list
    elements: str
    required: true
    aliases: [target]
  gather:
    description: What to read.
    type: list
    elements: str
    choices: [status, version, settings]
    default: [status, version, settings]
  settings:
    description: Which part of the configuration to read (C(krt6ctl get PART)).
    type: str
    choices: [all, params, lan]
    default: all
extends_documentation_fragment:
  - krt6.printer.krt6ctl
attributes:
  check_mode:
    support: full
    description: The module only reads, in check mode as otherwise.
  diff_mode:
    support: none
  facts:
    support: full
notes:
  - Each of status, version and settings is one C(krt6ctl) run over all targets.
seealso:
  - module: krt6.printer.settings
author:
  - K-RT6 Setting Tool developers
'''

EXAMPLES = r'''
- name: Read the printers of this workstation
  krt6.printer.info:
    targets:
      - socket://10.1.0.20
      - usb:
  register: printers

- name: Show the firmware of the network printer
  ansible.builtin.debug:
    msg: "{{ ansible_facts.krt6_printers['socket://10.1.0.20'].version.version }}"

- name: Only the status, in Japanese
  krt6.printer.info:
    targets: ["serial:/dev/ttyS0"]
    gather: [status]
    lang: ja
'''

RETURN = r'''
ansible_facts:
  description: Facts of the printers.
  returned: on success
  type: complex
  contains:
    krt6_printers:
      description: One entry a target, keyed by the target as given.
      type: dict
      sample:
        socket://10.1.0.20:
          ok: true
          status: {"status_code": 1, "status": "ON LINE"}
          version: {"version": "1.0J", "class": 3}
          settings: {"format": "krt6-settings", "version": 1, "parameters": {}, "lan": {}}
          errors: []
      contains:
        ok:
          description: Whether every read of this target succeeded.
          type: bool
        status:
          description: The status code and text (the C(data) of C(krt6ctl status)); null when not read.
          type: dict
        version:
          description: The firmware version text and its class; null when not read.
          type: dict
        settings:
          description: The configuration in the JSON format of krt6ctl; null when not read.
          type: dict
        errors:
          description: "Each failed read, as READ: RESULT (DETAIL), for example C(status: Port open error)."
          type: list
          elements: str
printers:
  description: The same entries as C(ansible_facts.krt6_printers), also on failure.
  returned: always
  type: dict
failed_targets:
  description: "The targets whose reads failed, each with its reasons, as TARGET: READ: RESULT (DETAIL)."
  returned: always
  type: list
  elements: str
read_results:
  description: Every krt6ctl result object, by read (C(status), C(version), C(settings)).
  returned: always
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.krt6.printer.plugins.module_utils import krt6ctl

# Each read and its krt6ctl command.
READS = (('status', 'status'), ('version', 'version'), ('settings', 'get'))


def main():
    arguments = dict(
        gather=dict(type='list', elements='str', choices=['status', 'version', 'settings'],
                    default=['status', 'version', 'settings']),
        settings=dict(type='str', choices=['all', 'params', 'lan'], default='all'),
    )
    arguments.update(krt6ctl.COMMON_ARGS)
    module = AnsibleModule(argument_spec=arguments, supports_check_mode=True)
    p = module.params

    printers = dict((t, dict(ok=True, status=None, version=None, settings=None, errors=[]))
                    for t in p['targets'])
    results = {}
    for name, command in READS:
        if name not in p['gather']:
            continue
        results[name] = krt6ctl.run(module, command,
                                    [p['settings']] if command == 'get' else [])[1]
        for r in results[name]:
            entry = printers[r['target']]
            if r.get('ok'):
                entry[name] = r.get('data')
            else:
                entry['ok'] = False
                entry['errors'].append('%s: %s' % (name, krt6ctl.why(r)))

    failed = ['%s: %s' % (t, ', '.join(e['errors'])) for t, e in printers.items() if not e['ok']]
    outcome = dict(changed=False, printers=printers, read_results=results,
                   failed_targets=failed)
    if failed:
        module.fail_json(msg='%d of %d targets failed: %s' % (len(failed), len(printers),
                                                              '; '.join(failed)), **outcome)
    module.exit_json(ansible_facts=dict(krt6_printers=printers), **outcome)


if __name__ == '__main__':
    main()
