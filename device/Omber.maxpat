{
	"patcher": {
		"fileversion": 1,
		"appversion": {
			"major": 8,
			"minor": 6,
			"revision": 0,
			"architecture": "x64",
			"modernui": 1
		},
		"classnamespace": "box",
		"rect": [
			80,
			80,
			1400,
			900
		],
		"openinpresentation": 1,
		"default_fontsize": 10,
		"default_fontname": "Arial",
		"gridsize": [
			8,
			8
		],
		"devicewidth": 1176,
		"description": "Omber: live AI-music performance device",
		"digest": "",
		"tags": "",
		"boxes": [
			{
				"box": {
					"id": "obj-1",
					"maxclass": "newobj",
					"text": "plugin~",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"signal",
						"signal"
					],
					"patching_rect": [
						20,
						20,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-2",
					"maxclass": "newobj",
					"text": "omber~ @role 1 @capture 0",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"signal",
						"signal"
					],
					"patching_rect": [
						210,
						20,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-3",
					"maxclass": "newobj",
					"text": "omber~ @role 0",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"signal",
						"signal"
					],
					"patching_rect": [
						400,
						20,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-4",
					"maxclass": "newobj",
					"text": "plugout~",
					"numinlets": 2,
					"numoutlets": 0,
					"patching_rect": [
						590,
						20,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-5",
					"maxclass": "comment",
					"text": "Audio: the track enters plugin~ and passes straight through the feeder omber~ (role 1), which captures it only while the engine has capture on (a print or a feed mode). The players (role 0) render the generated music; their outlets and the feeder's are summed into plugout~. Nothing delays the signal, so Defined Latency stays 0.",
					"patching_rect": [
						20,
						700,
						560,
						60
					],
					"linecount": 4,
					"numinlets": 1,
					"numoutlets": 0
				}
			},
			{
				"box": {
					"id": "obj-6",
					"maxclass": "newobj",
					"text": "node.script omber-host.js @autostart 1 @watch 0",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						20,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-7",
					"maxclass": "newobj",
					"text": "route host:port ui:status ui:ready ui:section ui:section_pending ui:phase ui:gridbpm ui:position ui:swap core:connected core:connect_failed core:ready_info core:reconnect_giveup param:start param:stop echo snapshot knobnames peaks",
					"numinlets": 2,
					"numoutlets": 20,
					"outlettype": [
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						""
					],
					"patching_rect": [
						970,
						20,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-8",
					"maxclass": "newobj",
					"text": "prepend connect",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						54,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-9",
					"maxclass": "newobj",
					"text": "t b b",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						"bang"
					],
					"patching_rect": [
						210,
						54,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-10",
					"maxclass": "newobj",
					"text": "live.thisdevice",
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"bang",
						"int",
						"int"
					],
					"patching_rect": [
						400,
						54,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-11",
					"maxclass": "newobj",
					"text": "t b b b",
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"bang",
						"bang",
						"bang"
					],
					"patching_rect": [
						590,
						54,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-12",
					"maxclass": "newobj",
					"text": "live.path",
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						""
					],
					"patching_rect": [
						780,
						54,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-13",
					"maxclass": "message",
					"text": "path live_set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						54,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-14",
					"maxclass": "newobj",
					"text": "live.object",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						88,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-15",
					"maxclass": "message",
					"text": "get file_path",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						88,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-16",
					"maxclass": "newobj",
					"text": "route file_path",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						400,
						88,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-17",
					"maxclass": "newobj",
					"text": "prepend live_path",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						88,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-18",
					"maxclass": "newobj",
					"text": "live.observer",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						88,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-19",
					"maxclass": "message",
					"text": "property tempo",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						88,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-20",
					"maxclass": "newobj",
					"text": "prepend tempo",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						122,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-21",
					"maxclass": "newobj",
					"text": "live.observer",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						210,
						122,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-22",
					"maxclass": "message",
					"text": "property is_playing",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						122,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-23",
					"maxclass": "newobj",
					"text": "prepend transport",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						122,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-24",
					"maxclass": "newobj",
					"text": "live.observer",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						122,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-25",
					"maxclass": "message",
					"text": "property root_note",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						122,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-26",
					"maxclass": "newobj",
					"text": "prepend projroot",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						156,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-27",
					"maxclass": "newobj",
					"text": "live.observer",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						210,
						156,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-28",
					"maxclass": "message",
					"text": "property scale_name",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						156,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-29",
					"maxclass": "newobj",
					"text": "prepend projscale",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						156,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-30",
					"maxclass": "newobj",
					"text": "metro 1n @quantize 1n @active 1",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						780,
						156,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-31",
					"maxclass": "message",
					"text": "bar",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						156,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-32",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Start",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Start",
							"parameter_shortname": "Start",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						8,
						8,
						44,
						18
					],
					"text": "Start",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						20,
						190,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-33",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						210,
						190,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-34",
					"maxclass": "message",
					"text": "start",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						190,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-35",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Stop",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Stop",
							"parameter_shortname": "Stop",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						56,
						8,
						44,
						18
					],
					"text": "Stop",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						190,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-36",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						780,
						190,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-37",
					"maxclass": "message",
					"text": "stop",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						190,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-38",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Export",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Export",
							"parameter_shortname": "Export",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						104,
						8,
						48,
						18
					],
					"text": "Export",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						20,
						224,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-39",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						210,
						224,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-40",
					"maxclass": "message",
					"text": "audio_export_req",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						224,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-41",
					"maxclass": "comment",
					"text": "pod",
					"presentation_rect": [
						8,
						47,
						144,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						590,
						224,
						144,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-42",
					"maxclass": "textedit",
					"presentation_rect": [
						8,
						60,
						144,
						18
					],
					"varname": "Pod",
					"fontsize": 10,
					"lines": 1,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						780,
						224,
						144,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-43",
					"maxclass": "newobj",
					"text": "prepend host:pod",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						224,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-44",
					"maxclass": "newobj",
					"text": "route text",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						20,
						258,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-45",
					"maxclass": "newobj",
					"parameter_enable": 1,
					"varname": "Pod Address",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Pod Address",
							"parameter_shortname": "Pod",
							"parameter_type": 3,
							"parameter_invisible": 1
						}
					},
					"text": "pattr pod",
					"numinlets": 2,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						""
					],
					"patching_rect": [
						210,
						258,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-46",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						258,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-47",
					"maxclass": "newobj",
					"text": "zl.reg",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						258,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-48",
					"maxclass": "comment",
					"text": "lookup",
					"presentation_rect": [
						8,
						81,
						144,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						780,
						258,
						144,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-49",
					"maxclass": "textedit",
					"presentation_rect": [
						8,
						94,
						144,
						18
					],
					"varname": "Lookup",
					"fontsize": 10,
					"lines": 1,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						970,
						258,
						144,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-50",
					"maxclass": "newobj",
					"text": "prepend host:lookup",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						292,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-51",
					"maxclass": "newobj",
					"text": "route text",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						210,
						292,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-52",
					"maxclass": "newobj",
					"parameter_enable": 1,
					"varname": "Lookup Address",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Lookup Address",
							"parameter_shortname": "Lookup",
							"parameter_type": 3,
							"parameter_invisible": 1
						}
					},
					"text": "pattr lookup",
					"numinlets": 2,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						""
					],
					"patching_rect": [
						400,
						292,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-53",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						292,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-54",
					"maxclass": "newobj",
					"text": "zl.reg",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						292,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-55",
					"maxclass": "comment",
					"text": "prompt A",
					"presentation_rect": [
						166,
						5,
						200,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						970,
						292,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-56",
					"maxclass": "textedit",
					"presentation_rect": [
						166,
						18,
						200,
						34
					],
					"varname": "Prompt_A",
					"fontsize": 10,
					"lines": 2,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						20,
						326,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-57",
					"maxclass": "newobj",
					"text": "prepend prompt",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						326,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-58",
					"maxclass": "comment",
					"text": "prompt B",
					"presentation_rect": [
						166,
						55,
						200,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						400,
						326,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-59",
					"maxclass": "textedit",
					"presentation_rect": [
						166,
						68,
						200,
						34
					],
					"varname": "Prompt_B",
					"fontsize": 10,
					"lines": 2,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						590,
						326,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-60",
					"maxclass": "newobj",
					"text": "prepend prompt_b",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						326,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-61",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Prompt Blend",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Prompt Blend",
							"parameter_shortname": "Blend",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0.4
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						166,
						106,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						970,
						326,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-62",
					"maxclass": "newobj",
					"text": "prepend blend",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						360,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-63",
					"maxclass": "comment",
					"text": "key",
					"presentation_rect": [
						216,
						109,
						74,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						360,
						74,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-64",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Key",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Key",
							"parameter_shortname": "Key",
							"parameter_type": 2,
							"parameter_enum": [
								"none",
								"C major",
								"C minor",
								"C# major",
								"C# minor",
								"D major",
								"D minor",
								"D# major",
								"D# minor",
								"E major",
								"E minor",
								"F major",
								"F minor",
								"F# major",
								"F# minor",
								"G major",
								"G minor",
								"G# major",
								"G# minor",
								"A major",
								"A minor",
								"A# major",
								"A# minor",
								"B major",
								"B minor"
							],
							"parameter_mmax": 24,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						216,
						122,
						74,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						360,
						74,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-65",
					"maxclass": "newobj",
					"text": "prepend key",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						360,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-66",
					"maxclass": "comment",
					"text": "swap to",
					"presentation_rect": [
						296,
						109,
						70,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						780,
						360,
						70,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-67",
					"maxclass": "textedit",
					"presentation_rect": [
						296,
						122,
						70,
						18
					],
					"varname": "Swap_Fixture",
					"fontsize": 10,
					"lines": 1,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						970,
						360,
						70,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-68",
					"maxclass": "newobj",
					"text": "prepend swap",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						394,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-69",
					"maxclass": "comment",
					"text": "section",
					"presentation_rect": [
						602,
						5,
						48,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						394,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-70",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "Loop Section",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Loop Section",
							"parameter_shortname": "Section",
							"parameter_type": 1,
							"parameter_mmin": -1,
							"parameter_mmax": 63,
							"parameter_unitstyle": 0,
							"parameter_initial": [
								-1
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						602,
						18,
						48,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						400,
						394,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-71",
					"maxclass": "newobj",
					"text": "prepend section",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						394,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-72",
					"maxclass": "comment",
					"text": "start bar",
					"presentation_rect": [
						656,
						5,
						48,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						780,
						394,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-73",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "Loop Start Bar",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Loop Start Bar",
							"parameter_shortname": "Start Bar",
							"parameter_type": 1,
							"parameter_mmin": -1,
							"parameter_mmax": 999,
							"parameter_unitstyle": 0,
							"parameter_initial": [
								-1
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						656,
						18,
						48,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						970,
						394,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-74",
					"maxclass": "newobj",
					"text": "prepend loop_start",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						428,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-75",
					"maxclass": "comment",
					"text": "loop",
					"presentation_rect": [
						602,
						35,
						48,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						428,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-76",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "Loop Bars",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Loop Bars",
							"parameter_shortname": "Bars",
							"parameter_type": 1,
							"parameter_mmin": 1,
							"parameter_mmax": 64,
							"parameter_unitstyle": 9,
							"parameter_units": "%d bars",
							"parameter_initial": [
								4
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						602,
						48,
						48,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						400,
						428,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-77",
					"maxclass": "newobj",
					"text": "prepend loop_len",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						428,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-78",
					"maxclass": "comment",
					"text": "quant",
					"presentation_rect": [
						656,
						35,
						48,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						780,
						428,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-79",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "Quantisation",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Quantisation",
							"parameter_shortname": "Quant",
							"parameter_type": 1,
							"parameter_mmin": 0,
							"parameter_mmax": 16,
							"parameter_unitstyle": 9,
							"parameter_units": "%d bars",
							"parameter_initial": [
								1
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						656,
						48,
						48,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						970,
						428,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-80",
					"maxclass": "newobj",
					"text": "prepend quant",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						462,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-81",
					"maxclass": "comment",
					"text": "print",
					"presentation_rect": [
						602,
						65,
						48,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						462,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-82",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "Print Bars",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Print Bars",
							"parameter_shortname": "Print Len",
							"parameter_type": 1,
							"parameter_mmin": 1,
							"parameter_mmax": 64,
							"parameter_unitstyle": 9,
							"parameter_units": "%d bars",
							"parameter_initial": [
								4
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						602,
						78,
						48,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						400,
						462,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-83",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Print",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Print",
							"parameter_shortname": "Print",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						656,
						76,
						48,
						18
					],
					"text": "Print",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						462,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-84",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						780,
						462,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-85",
					"maxclass": "newobj",
					"text": "zl.reg",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						970,
						462,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-86",
					"maxclass": "newobj",
					"text": "prepend fixed_arm",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						496,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-87",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Canvas",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Canvas",
							"parameter_shortname": "Canvas",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						602,
						98,
						48,
						18
					],
					"text": "Canvas",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						210,
						496,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-88",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						400,
						496,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-89",
					"maxclass": "newobj",
					"text": "zl.reg",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						496,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-90",
					"maxclass": "newobj",
					"text": "prepend canvas_arm",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						496,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-91",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Splice",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Splice",
							"parameter_shortname": "Splice",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						656,
						98,
						48,
						18
					],
					"text": "Splice",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						970,
						496,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-92",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						20,
						530,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-93",
					"maxclass": "newobj",
					"text": "zl.reg",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						210,
						530,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-94",
					"maxclass": "newobj",
					"text": "prepend splice_arm",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						530,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-95",
					"maxclass": "comment",
					"text": "feed",
					"presentation_rect": [
						602,
						124,
						28,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						590,
						530,
						28,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-96",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Feed Mode",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Feed Mode",
							"parameter_shortname": "Feed",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"stream",
								"splice",
								"auto",
								"fixed"
							],
							"parameter_mmax": 4,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						630,
						122,
						74,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						780,
						530,
						74,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-97",
					"maxclass": "newobj",
					"text": "zl.lookup off stream splice auto fixed",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						970,
						530,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-98",
					"maxclass": "newobj",
					"text": "prepend feed",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						564,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-99",
					"maxclass": "comment",
					"text": "mix",
					"presentation_rect": [
						602,
						142,
						28,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						564,
						28,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-100",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Feed Mix",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Feed Mix",
							"parameter_shortname": "Mix",
							"parameter_type": 2,
							"parameter_enum": [
								"replace",
								"add"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						630,
						140,
						74,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						564,
						74,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-101",
					"maxclass": "newobj",
					"text": "zl.lookup replace add",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						564,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-102",
					"maxclass": "newobj",
					"text": "prepend feed_mix",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						564,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-103",
					"maxclass": "comment",
					"text": "LoRA 1",
					"presentation_rect": [
						920,
						5,
						40,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						970,
						564,
						40,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-104",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "LoRA 1",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "LoRA 1",
							"parameter_shortname": "LoRA 1",
							"parameter_type": 1,
							"parameter_mmin": 0,
							"parameter_mmax": 99,
							"parameter_unitstyle": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						920,
						18,
						40,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						598,
						40,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-105",
					"maxclass": "newobj",
					"text": "prepend lora_slot 1",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						598,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-106",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "LoRA 1 Strength",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "LoRA 1 Strength",
							"parameter_shortname": "LoRA1 Str",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 2,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								1
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						964,
						4,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						400,
						598,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-107",
					"maxclass": "newobj",
					"text": "prepend lora_strength 1",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						598,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-108",
					"maxclass": "comment",
					"text": "LoRA 2",
					"presentation_rect": [
						920,
						57,
						40,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						780,
						598,
						40,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-109",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "LoRA 2",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "LoRA 2",
							"parameter_shortname": "LoRA 2",
							"parameter_type": 1,
							"parameter_mmin": 0,
							"parameter_mmax": 99,
							"parameter_unitstyle": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						920,
						70,
						40,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						970,
						598,
						40,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-110",
					"maxclass": "newobj",
					"text": "prepend lora_slot 2",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						632,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-111",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "LoRA 2 Strength",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "LoRA 2 Strength",
							"parameter_shortname": "LoRA2 Str",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 2,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								1
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						964,
						56,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						210,
						632,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-112",
					"maxclass": "newobj",
					"text": "prepend lora_strength 2",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						632,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-113",
					"maxclass": "comment",
					"text": "timbre",
					"presentation_rect": [
						1050,
						5,
						96,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						590,
						632,
						96,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-114",
					"maxclass": "textedit",
					"presentation_rect": [
						1050,
						18,
						96,
						18
					],
					"varname": "Timbre",
					"fontsize": 10,
					"lines": 1,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						780,
						632,
						96,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-115",
					"maxclass": "newobj",
					"text": "prepend timbre",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						632,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-116",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Timbre Clear",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Timbre Clear",
							"parameter_shortname": "Timbre Clear",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						1150,
						18,
						18,
						18
					],
					"text": "x",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						20,
						666,
						18,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-117",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						210,
						666,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-118",
					"maxclass": "message",
					"text": "timbre_clear",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						666,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-119",
					"maxclass": "comment",
					"text": "strength",
					"presentation_rect": [
						1050,
						35,
						48,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						590,
						666,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-120",
					"maxclass": "live.numbox",
					"parameter_enable": 1,
					"varname": "Timbre Strength",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Timbre Strength",
							"parameter_shortname": "Timbre Str",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								1
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						1050,
						48,
						48,
						15
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						780,
						666,
						48,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-121",
					"maxclass": "newobj",
					"text": "prepend timbre_strength",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						666,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-122",
					"maxclass": "comment",
					"text": "structure",
					"presentation_rect": [
						1050,
						69,
						96,
						13
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						20,
						700,
						96,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-123",
					"maxclass": "textedit",
					"presentation_rect": [
						1050,
						82,
						96,
						18
					],
					"varname": "Structure",
					"fontsize": 10,
					"lines": 1,
					"numinlets": 1,
					"numoutlets": 4,
					"outlettype": [
						"",
						"int",
						"",
						""
					],
					"patching_rect": [
						210,
						700,
						96,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-124",
					"maxclass": "newobj",
					"text": "prepend structure",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						700,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-125",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Structure Clear",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Structure Clear",
							"parameter_shortname": "Structure Clear",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						1150,
						82,
						18,
						18
					],
					"text": "x",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						700,
						18,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-126",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						780,
						700,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-127",
					"maxclass": "message",
					"text": "structure_clear",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						700,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-128",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Save",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Save",
							"parameter_shortname": "Save",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						8,
						122,
						44,
						18
					],
					"text": "Save",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						20,
						734,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-129",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						210,
						734,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-130",
					"maxclass": "newobj",
					"text": "zl.reg -",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						400,
						734,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-131",
					"maxclass": "newobj",
					"text": "prepend snapshot_req",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						734,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-132",
					"maxclass": "live.text",
					"parameter_enable": 1,
					"varname": "Recall",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Recall",
							"parameter_shortname": "Recall",
							"parameter_type": 2,
							"parameter_enum": [
								"off",
								"on"
							],
							"parameter_mmax": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						56,
						122,
						44,
						18
					],
					"text": "Recall",
					"mode": 0,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						734,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-133",
					"maxclass": "newobj",
					"text": "t b",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						"bang"
					],
					"patching_rect": [
						970,
						734,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-134",
					"maxclass": "newobj",
					"text": "zl.reg",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						20,
						768,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-135",
					"maxclass": "newobj",
					"text": "prepend recall",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						768,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-136",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 1",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 1",
							"parameter_shortname": "Knob 1",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						720,
						8,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						768,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-137",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						768,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-138",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						768,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-139",
					"maxclass": "newobj",
					"text": "prepend macro 1",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						768,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-140",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 1",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 1",
							"parameter_shortname": "Macro 1",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						721,
						26,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						802,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-141",
					"maxclass": "newobj",
					"text": "prepend macroval 1",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						802,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-142",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 2",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 2",
							"parameter_shortname": "Knob 2",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						768,
						8,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						802,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-143",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						802,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-144",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						802,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-145",
					"maxclass": "newobj",
					"text": "prepend macro 2",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						802,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-146",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 2",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 2",
							"parameter_shortname": "Macro 2",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						769,
						26,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						836,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-147",
					"maxclass": "newobj",
					"text": "prepend macroval 2",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						836,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-148",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 3",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 3",
							"parameter_shortname": "Knob 3",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						816,
						8,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						836,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-149",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						836,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-150",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						836,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-151",
					"maxclass": "newobj",
					"text": "prepend macro 3",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						836,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-152",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 3",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 3",
							"parameter_shortname": "Macro 3",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						817,
						26,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						870,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-153",
					"maxclass": "newobj",
					"text": "prepend macroval 3",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						870,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-154",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 4",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 4",
							"parameter_shortname": "Knob 4",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						864,
						8,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						870,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-155",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						870,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-156",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						870,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-157",
					"maxclass": "newobj",
					"text": "prepend macro 4",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						870,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-158",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 4",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 4",
							"parameter_shortname": "Macro 4",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						865,
						26,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						904,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-159",
					"maxclass": "newobj",
					"text": "prepend macroval 4",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						904,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-160",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 5",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 5",
							"parameter_shortname": "Knob 5",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						720,
						82,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						904,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-161",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						904,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-162",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						904,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-163",
					"maxclass": "newobj",
					"text": "prepend macro 5",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						904,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-164",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 5",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 5",
							"parameter_shortname": "Macro 5",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						721,
						100,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						938,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-165",
					"maxclass": "newobj",
					"text": "prepend macroval 5",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						938,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-166",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 6",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 6",
							"parameter_shortname": "Knob 6",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						768,
						82,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						938,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-167",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						938,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-168",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						938,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-169",
					"maxclass": "newobj",
					"text": "prepend macro 6",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						938,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-170",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 6",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 6",
							"parameter_shortname": "Macro 6",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						769,
						100,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						972,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-171",
					"maxclass": "newobj",
					"text": "prepend macroval 6",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						972,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-172",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 7",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 7",
							"parameter_shortname": "Knob 7",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						816,
						82,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						972,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-173",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						972,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-174",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						972,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-175",
					"maxclass": "newobj",
					"text": "prepend macro 7",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						972,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-176",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 7",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 7",
							"parameter_shortname": "Macro 7",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						817,
						100,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						1006,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-177",
					"maxclass": "newobj",
					"text": "prepend macroval 7",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1006,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-178",
					"maxclass": "live.menu",
					"parameter_enable": 1,
					"varname": "Knob 8",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Knob 8",
							"parameter_shortname": "Knob 8",
							"parameter_type": 2,
							"parameter_enum": [
								"-"
							],
							"parameter_mmax": 0,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						864,
						82,
						46,
						15
					],
					"numinlets": 1,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						"float"
					],
					"patching_rect": [
						400,
						1006,
						46,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-179",
					"maxclass": "newobj",
					"text": "t b l",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"bang",
						""
					],
					"patching_rect": [
						590,
						1006,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-180",
					"maxclass": "newobj",
					"text": "zl.lookup",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						1006,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-181",
					"maxclass": "newobj",
					"text": "prepend macro 8",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						1006,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-182",
					"maxclass": "live.dial",
					"parameter_enable": 1,
					"varname": "Macro 8",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Macro 8",
							"parameter_shortname": "Macro 8",
							"parameter_type": 0,
							"parameter_mmin": 0,
							"parameter_mmax": 1,
							"parameter_unitstyle": 1,
							"parameter_initial": [
								0
							],
							"parameter_initial_enable": 1
						}
					},
					"presentation_rect": [
						865,
						100,
						44,
						48
					],
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"float"
					],
					"patching_rect": [
						20,
						1040,
						44,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-183",
					"maxclass": "newobj",
					"text": "prepend macroval 8",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1040,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-184",
					"maxclass": "newobj",
					"text": "t b b b b b b b b b b b b b b b b b b b b b b b b b b b b b b b b b b",
					"numinlets": 1,
					"numoutlets": 34,
					"outlettype": [
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang",
						"bang"
					],
					"patching_rect": [
						400,
						1040,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-185",
					"maxclass": "comment",
					"text": "omber: starting",
					"presentation_rect": [
						8,
						152,
						580,
						15
					],
					"fontsize": 10,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						590,
						1040,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-186",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1040,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-187",
					"maxclass": "comment",
					"text": "not connected",
					"presentation_rect": [
						8,
						30,
						150,
						15
					],
					"fontsize": 10,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						970,
						1040,
						150,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-188",
					"maxclass": "message",
					"text": "set connected",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1074,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-189",
					"maxclass": "message",
					"text": "set playing",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1074,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-190",
					"maxclass": "message",
					"text": "set stopped",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						1074,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-191",
					"maxclass": "message",
					"text": "set gave up reconnecting",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						1074,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-192",
					"maxclass": "message",
					"text": "set new generation",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1074,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-193",
					"maxclass": "newobj",
					"text": "prepend set failed:",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						1074,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-194",
					"maxclass": "newobj",
					"text": "prepend set ready sections:",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1108,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-195",
					"maxclass": "comment",
					"text": "",
					"presentation_rect": [
						376,
						132,
						220,
						15
					],
					"fontsize": 10,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						1108,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-196",
					"maxclass": "newobj",
					"text": "prepend set source s / bpm / key:",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						1108,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-197",
					"maxclass": "multislider",
					"presentation_rect": [
						376,
						8,
						220,
						60
					],
					"size": 200,
					"setminmax": [
						0,
						1
					],
					"setstyle": 1,
					"orientation": 0,
					"ignoreclick": 1,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						1108,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-198",
					"maxclass": "newobj",
					"text": "zl.slice 2",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						1108,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-199",
					"maxclass": "newobj",
					"text": "unpack 0. 0.",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						970,
						1108,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-200",
					"maxclass": "newobj",
					"text": "expr $f1 / $f2 * 1000.",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1142,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-201",
					"maxclass": "slider",
					"presentation_rect": [
						376,
						80,
						220,
						8
					],
					"size": 1000,
					"floatoutput": 1,
					"ignoreclick": 1,
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1142,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-202",
					"maxclass": "rslider",
					"presentation_rect": [
						376,
						70,
						220,
						8
					],
					"size": 1000,
					"ignoreclick": 1,
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						400,
						1142,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-203",
					"maxclass": "newobj",
					"text": "zl.slice 1",
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						590,
						1142,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-204",
					"maxclass": "newobj",
					"text": "unpack 0. 0.",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						""
					],
					"patching_rect": [
						780,
						1142,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-205",
					"maxclass": "newobj",
					"text": "expr $f1 / $f2 * 1000.",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						1142,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-206",
					"maxclass": "newobj",
					"text": "expr $f1 / $f2 * 1000.",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1176,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-207",
					"maxclass": "newobj",
					"text": "pack 0. 0.",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1176,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-208",
					"maxclass": "comment",
					"text": "section -",
					"presentation_rect": [
						376,
						94,
						220,
						15
					],
					"fontsize": 10,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						400,
						1176,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-209",
					"maxclass": "newobj",
					"text": "prepend set section (bar / from s / to s):",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						1176,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-210",
					"maxclass": "newobj",
					"text": "prepend set next section:",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1176,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-211",
					"maxclass": "comment",
					"text": "phase ms",
					"presentation_rect": [
						376,
						114,
						54,
						15
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						970,
						1176,
						54,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-212",
					"maxclass": "flonum",
					"presentation_rect": [
						430,
						114,
						50,
						15
					],
					"format": 6,
					"ignoreclick": 1,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"bang"
					],
					"patching_rect": [
						20,
						1210,
						50,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-213",
					"maxclass": "comment",
					"text": "grid bpm",
					"presentation_rect": [
						486,
						114,
						60,
						15
					],
					"fontsize": 9,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						210,
						1210,
						60,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-214",
					"maxclass": "flonum",
					"presentation_rect": [
						546,
						114,
						50,
						15
					],
					"format": 6,
					"ignoreclick": 1,
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"",
						"bang"
					],
					"patching_rect": [
						400,
						1210,
						50,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-215",
					"maxclass": "newobj",
					"text": "route prompt promptB blend loopStart loopLen quant lora1 lora1str lora2 lora2str timbreRefFix timbreRefClip timbreRefNone structRefFix structRefClip structRefNone",
					"numinlets": 2,
					"numoutlets": 17,
					"outlettype": [
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						"",
						""
					],
					"patching_rect": [
						590,
						1210,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-216",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1210,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-217",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						1210,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-218",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1244,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-219",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1244,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-220",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						1244,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-221",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						1244,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-222",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1244,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-223",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						1244,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-224",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1278,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-225",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1278,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-226",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						400,
						1278,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-227",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						1278,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-228",
					"maxclass": "message",
					"text": "set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1278,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-229",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						970,
						1278,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-230",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						20,
						1312,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-231",
					"maxclass": "message",
					"text": "set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1312,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-232",
					"maxclass": "comment",
					"text": "knob -",
					"presentation_rect": [
						720,
						152,
						190,
						15
					],
					"fontsize": 10,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						400,
						1312,
						180,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-233",
					"maxclass": "newobj",
					"text": "prepend set knob",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						590,
						1312,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-234",
					"maxclass": "newobj",
					"text": "prepend _parameter_range",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						780,
						1312,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-235",
					"maxclass": "newobj",
					"parameter_enable": 1,
					"varname": "Preset",
					"saved_attribute_attributes": {
						"valueof": {
							"parameter_longname": "Preset",
							"parameter_shortname": "Preset",
							"parameter_type": 3,
							"parameter_invisible": 1
						}
					},
					"text": "pattr preset",
					"numinlets": 2,
					"numoutlets": 3,
					"outlettype": [
						"",
						"",
						""
					],
					"patching_rect": [
						970,
						1312,
						120,
						22
					]
				}
			},
			{
				"box": {
					"id": "obj-236",
					"maxclass": "comment",
					"text": "no preset",
					"presentation_rect": [
						104,
						120,
						60,
						30
					],
					"fontsize": 10,
					"linecount": 2,
					"numinlets": 1,
					"numoutlets": 0,
					"patching_rect": [
						20,
						1346,
						60,
						22
					],
					"presentation": 1
				}
			},
			{
				"box": {
					"id": "obj-237",
					"maxclass": "newobj",
					"text": "prepend set",
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						210,
						1346,
						120,
						22
					]
				}
			}
		],
		"lines": [
			{
				"patchline": {
					"source": [
						"obj-1",
						0
					],
					"destination": [
						"obj-2",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-2",
						0
					],
					"destination": [
						"obj-4",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-3",
						0
					],
					"destination": [
						"obj-4",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-1",
						1
					],
					"destination": [
						"obj-2",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-2",
						1
					],
					"destination": [
						"obj-4",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-3",
						1
					],
					"destination": [
						"obj-4",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-6",
						0
					],
					"destination": [
						"obj-7",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						0
					],
					"destination": [
						"obj-8",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-8",
						0
					],
					"destination": [
						"obj-2",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-8",
						0
					],
					"destination": [
						"obj-3",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						0
					],
					"destination": [
						"obj-9",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-10",
						0
					],
					"destination": [
						"obj-11",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-9",
						1
					],
					"destination": [
						"obj-11",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-11",
						1
					],
					"destination": [
						"obj-13",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-13",
						0
					],
					"destination": [
						"obj-12",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-12",
						0
					],
					"destination": [
						"obj-14",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-11",
						0
					],
					"destination": [
						"obj-15",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-15",
						0
					],
					"destination": [
						"obj-14",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-14",
						0
					],
					"destination": [
						"obj-16",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-16",
						0
					],
					"destination": [
						"obj-17",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-11",
						2
					],
					"destination": [
						"obj-19",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-19",
						0
					],
					"destination": [
						"obj-18",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-12",
						0
					],
					"destination": [
						"obj-18",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-18",
						0
					],
					"destination": [
						"obj-20",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-11",
						2
					],
					"destination": [
						"obj-22",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-22",
						0
					],
					"destination": [
						"obj-21",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-12",
						0
					],
					"destination": [
						"obj-21",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-21",
						0
					],
					"destination": [
						"obj-23",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-11",
						2
					],
					"destination": [
						"obj-25",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-25",
						0
					],
					"destination": [
						"obj-24",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-12",
						0
					],
					"destination": [
						"obj-24",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-24",
						0
					],
					"destination": [
						"obj-26",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-11",
						2
					],
					"destination": [
						"obj-28",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-28",
						0
					],
					"destination": [
						"obj-27",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-12",
						0
					],
					"destination": [
						"obj-27",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-27",
						0
					],
					"destination": [
						"obj-29",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-30",
						0
					],
					"destination": [
						"obj-31",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-32",
						0
					],
					"destination": [
						"obj-33",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-33",
						0
					],
					"destination": [
						"obj-34",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-35",
						0
					],
					"destination": [
						"obj-36",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-36",
						0
					],
					"destination": [
						"obj-37",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-38",
						0
					],
					"destination": [
						"obj-39",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-39",
						0
					],
					"destination": [
						"obj-40",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-42",
						0
					],
					"destination": [
						"obj-43",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-42",
						0
					],
					"destination": [
						"obj-44",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-44",
						0
					],
					"destination": [
						"obj-45",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-45",
						0
					],
					"destination": [
						"obj-46",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-46",
						0
					],
					"destination": [
						"obj-42",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-45",
						0
					],
					"destination": [
						"obj-47",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-47",
						0
					],
					"destination": [
						"obj-43",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-49",
						0
					],
					"destination": [
						"obj-50",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-49",
						0
					],
					"destination": [
						"obj-51",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-51",
						0
					],
					"destination": [
						"obj-52",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-52",
						0
					],
					"destination": [
						"obj-53",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-53",
						0
					],
					"destination": [
						"obj-49",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-52",
						0
					],
					"destination": [
						"obj-54",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-54",
						0
					],
					"destination": [
						"obj-50",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-56",
						0
					],
					"destination": [
						"obj-57",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-59",
						0
					],
					"destination": [
						"obj-60",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-61",
						0
					],
					"destination": [
						"obj-62",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-64",
						0
					],
					"destination": [
						"obj-65",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-67",
						0
					],
					"destination": [
						"obj-68",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-70",
						0
					],
					"destination": [
						"obj-71",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-73",
						0
					],
					"destination": [
						"obj-74",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-76",
						0
					],
					"destination": [
						"obj-77",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-79",
						0
					],
					"destination": [
						"obj-80",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-83",
						0
					],
					"destination": [
						"obj-84",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-84",
						0
					],
					"destination": [
						"obj-85",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-85",
						0
					],
					"destination": [
						"obj-86",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-87",
						0
					],
					"destination": [
						"obj-88",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-88",
						0
					],
					"destination": [
						"obj-89",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-89",
						0
					],
					"destination": [
						"obj-90",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-91",
						0
					],
					"destination": [
						"obj-92",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-92",
						0
					],
					"destination": [
						"obj-93",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-93",
						0
					],
					"destination": [
						"obj-94",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-96",
						0
					],
					"destination": [
						"obj-97",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-97",
						0
					],
					"destination": [
						"obj-98",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-100",
						0
					],
					"destination": [
						"obj-101",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-101",
						0
					],
					"destination": [
						"obj-102",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-104",
						0
					],
					"destination": [
						"obj-105",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-106",
						0
					],
					"destination": [
						"obj-107",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-109",
						0
					],
					"destination": [
						"obj-110",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-111",
						0
					],
					"destination": [
						"obj-112",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-114",
						0
					],
					"destination": [
						"obj-115",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-116",
						0
					],
					"destination": [
						"obj-117",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-117",
						0
					],
					"destination": [
						"obj-118",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-120",
						0
					],
					"destination": [
						"obj-121",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-123",
						0
					],
					"destination": [
						"obj-124",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-125",
						0
					],
					"destination": [
						"obj-126",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-126",
						0
					],
					"destination": [
						"obj-127",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-128",
						0
					],
					"destination": [
						"obj-129",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-129",
						0
					],
					"destination": [
						"obj-130",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-130",
						0
					],
					"destination": [
						"obj-131",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-132",
						0
					],
					"destination": [
						"obj-133",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-133",
						0
					],
					"destination": [
						"obj-134",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-134",
						0
					],
					"destination": [
						"obj-135",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-136",
						0
					],
					"destination": [
						"obj-137",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-137",
						1
					],
					"destination": [
						"obj-138",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-138",
						0
					],
					"destination": [
						"obj-139",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-140",
						0
					],
					"destination": [
						"obj-141",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-142",
						0
					],
					"destination": [
						"obj-143",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-143",
						1
					],
					"destination": [
						"obj-144",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-144",
						0
					],
					"destination": [
						"obj-145",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-146",
						0
					],
					"destination": [
						"obj-147",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-148",
						0
					],
					"destination": [
						"obj-149",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-149",
						1
					],
					"destination": [
						"obj-150",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-150",
						0
					],
					"destination": [
						"obj-151",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-152",
						0
					],
					"destination": [
						"obj-153",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-154",
						0
					],
					"destination": [
						"obj-155",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-155",
						1
					],
					"destination": [
						"obj-156",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-156",
						0
					],
					"destination": [
						"obj-157",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-158",
						0
					],
					"destination": [
						"obj-159",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-160",
						0
					],
					"destination": [
						"obj-161",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-161",
						1
					],
					"destination": [
						"obj-162",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-162",
						0
					],
					"destination": [
						"obj-163",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-164",
						0
					],
					"destination": [
						"obj-165",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-166",
						0
					],
					"destination": [
						"obj-167",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-167",
						1
					],
					"destination": [
						"obj-168",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-168",
						0
					],
					"destination": [
						"obj-169",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-170",
						0
					],
					"destination": [
						"obj-171",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-172",
						0
					],
					"destination": [
						"obj-173",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-173",
						1
					],
					"destination": [
						"obj-174",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-174",
						0
					],
					"destination": [
						"obj-175",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-176",
						0
					],
					"destination": [
						"obj-177",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-178",
						0
					],
					"destination": [
						"obj-179",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-179",
						1
					],
					"destination": [
						"obj-180",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-180",
						0
					],
					"destination": [
						"obj-181",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-182",
						0
					],
					"destination": [
						"obj-183",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-137",
						0
					],
					"destination": [
						"obj-140",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-143",
						0
					],
					"destination": [
						"obj-146",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-149",
						0
					],
					"destination": [
						"obj-152",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-155",
						0
					],
					"destination": [
						"obj-158",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-161",
						0
					],
					"destination": [
						"obj-164",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-167",
						0
					],
					"destination": [
						"obj-170",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-173",
						0
					],
					"destination": [
						"obj-176",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-179",
						0
					],
					"destination": [
						"obj-182",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-82",
						0
					],
					"destination": [
						"obj-85",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-82",
						0
					],
					"destination": [
						"obj-89",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-82",
						0
					],
					"destination": [
						"obj-93",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-9",
						0
					],
					"destination": [
						"obj-184",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						0
					],
					"destination": [
						"obj-47",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						1
					],
					"destination": [
						"obj-54",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						2
					],
					"destination": [
						"obj-56",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						3
					],
					"destination": [
						"obj-59",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						4
					],
					"destination": [
						"obj-61",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						5
					],
					"destination": [
						"obj-64",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						6
					],
					"destination": [
						"obj-70",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						7
					],
					"destination": [
						"obj-73",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						8
					],
					"destination": [
						"obj-76",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						9
					],
					"destination": [
						"obj-79",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						10
					],
					"destination": [
						"obj-82",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						11
					],
					"destination": [
						"obj-96",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						12
					],
					"destination": [
						"obj-100",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						13
					],
					"destination": [
						"obj-104",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						14
					],
					"destination": [
						"obj-106",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						15
					],
					"destination": [
						"obj-109",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						16
					],
					"destination": [
						"obj-111",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						17
					],
					"destination": [
						"obj-120",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						18
					],
					"destination": [
						"obj-136",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						19
					],
					"destination": [
						"obj-140",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						20
					],
					"destination": [
						"obj-142",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						21
					],
					"destination": [
						"obj-146",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						22
					],
					"destination": [
						"obj-148",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						23
					],
					"destination": [
						"obj-152",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						24
					],
					"destination": [
						"obj-154",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						25
					],
					"destination": [
						"obj-158",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						26
					],
					"destination": [
						"obj-160",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						27
					],
					"destination": [
						"obj-164",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						28
					],
					"destination": [
						"obj-166",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						29
					],
					"destination": [
						"obj-170",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						30
					],
					"destination": [
						"obj-172",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						31
					],
					"destination": [
						"obj-176",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						32
					],
					"destination": [
						"obj-178",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-184",
						33
					],
					"destination": [
						"obj-182",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						1
					],
					"destination": [
						"obj-186",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-186",
						0
					],
					"destination": [
						"obj-185",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						9
					],
					"destination": [
						"obj-188",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-188",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						13
					],
					"destination": [
						"obj-189",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-189",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						14
					],
					"destination": [
						"obj-190",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-190",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						12
					],
					"destination": [
						"obj-191",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-191",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						8
					],
					"destination": [
						"obj-192",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-192",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						10
					],
					"destination": [
						"obj-193",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-193",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						2
					],
					"destination": [
						"obj-194",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-194",
						0
					],
					"destination": [
						"obj-187",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						11
					],
					"destination": [
						"obj-196",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-196",
						0
					],
					"destination": [
						"obj-195",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						18
					],
					"destination": [
						"obj-198",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-198",
						1
					],
					"destination": [
						"obj-197",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-198",
						0
					],
					"destination": [
						"obj-199",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						7
					],
					"destination": [
						"obj-200",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-200",
						0
					],
					"destination": [
						"obj-201",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						3
					],
					"destination": [
						"obj-203",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-203",
						1
					],
					"destination": [
						"obj-204",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-204",
						0
					],
					"destination": [
						"obj-205",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-204",
						1
					],
					"destination": [
						"obj-206",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-206",
						0
					],
					"destination": [
						"obj-207",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-205",
						0
					],
					"destination": [
						"obj-207",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-207",
						0
					],
					"destination": [
						"obj-202",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-199",
						0
					],
					"destination": [
						"obj-200",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-199",
						0
					],
					"destination": [
						"obj-205",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-199",
						0
					],
					"destination": [
						"obj-206",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						3
					],
					"destination": [
						"obj-209",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-209",
						0
					],
					"destination": [
						"obj-208",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						4
					],
					"destination": [
						"obj-210",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-210",
						0
					],
					"destination": [
						"obj-208",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						5
					],
					"destination": [
						"obj-212",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						6
					],
					"destination": [
						"obj-214",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						15
					],
					"destination": [
						"obj-215",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						0
					],
					"destination": [
						"obj-216",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-216",
						0
					],
					"destination": [
						"obj-56",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						1
					],
					"destination": [
						"obj-217",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-217",
						0
					],
					"destination": [
						"obj-59",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						2
					],
					"destination": [
						"obj-218",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-218",
						0
					],
					"destination": [
						"obj-61",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						3
					],
					"destination": [
						"obj-219",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-219",
						0
					],
					"destination": [
						"obj-73",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						4
					],
					"destination": [
						"obj-220",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-220",
						0
					],
					"destination": [
						"obj-76",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						5
					],
					"destination": [
						"obj-221",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-221",
						0
					],
					"destination": [
						"obj-79",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						6
					],
					"destination": [
						"obj-222",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-222",
						0
					],
					"destination": [
						"obj-104",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						7
					],
					"destination": [
						"obj-223",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-223",
						0
					],
					"destination": [
						"obj-106",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						8
					],
					"destination": [
						"obj-224",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-224",
						0
					],
					"destination": [
						"obj-109",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						9
					],
					"destination": [
						"obj-225",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-225",
						0
					],
					"destination": [
						"obj-111",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						10
					],
					"destination": [
						"obj-226",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-226",
						0
					],
					"destination": [
						"obj-114",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						11
					],
					"destination": [
						"obj-227",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-227",
						0
					],
					"destination": [
						"obj-114",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						12
					],
					"destination": [
						"obj-228",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-228",
						0
					],
					"destination": [
						"obj-114",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						13
					],
					"destination": [
						"obj-229",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-229",
						0
					],
					"destination": [
						"obj-123",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						14
					],
					"destination": [
						"obj-230",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-230",
						0
					],
					"destination": [
						"obj-123",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						15
					],
					"destination": [
						"obj-231",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-231",
						0
					],
					"destination": [
						"obj-123",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-215",
						16
					],
					"destination": [
						"obj-233",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-233",
						0
					],
					"destination": [
						"obj-232",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-234",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-136",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-138",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-142",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-144",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-148",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-150",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-154",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-156",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-160",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-162",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-166",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-168",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-172",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-174",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-234",
						0
					],
					"destination": [
						"obj-178",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						17
					],
					"destination": [
						"obj-180",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-7",
						16
					],
					"destination": [
						"obj-235",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-235",
						0
					],
					"destination": [
						"obj-130",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-235",
						0
					],
					"destination": [
						"obj-134",
						1
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-235",
						0
					],
					"destination": [
						"obj-237",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-237",
						0
					],
					"destination": [
						"obj-236",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-17",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-20",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-23",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-26",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-29",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-31",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-34",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-37",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-40",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-43",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-50",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-57",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-60",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-62",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-65",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-68",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-71",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-74",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-77",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-80",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-86",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-90",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-94",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-98",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-102",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-105",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-107",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-110",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-112",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-115",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-118",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-121",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-124",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-127",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-131",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-135",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-139",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-141",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-145",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-147",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-151",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-153",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-157",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-159",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-163",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-165",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-169",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-171",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-175",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-177",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-181",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-183",
						0
					],
					"destination": [
						"obj-6",
						0
					]
				}
			}
		]
	}
}
