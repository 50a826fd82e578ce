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
			100,
			100,
			720,
			520
		],
		"openinpresentation": 0,
		"default_fontsize": 10,
		"default_fontname": "Arial",
		"gridsize": [
			8,
			8
		],
		"boxes": [
			{
				"box": {
					"id": "obj-1",
					"maxclass": "comment",
					"text": "omber~ - one endpoint of the Omber engine's audio path. A player (@role 0) renders the buffer the engine sends to its two signal outlets; a feeder (@role 1) passes its two signal inputs through and, while capture is on, sends them to the engine. Each connects to the host's bridge on 127.0.0.1 at the port given by \"connect\" (the Omber device sends it for you).",
					"patching_rect": [
						20,
						10,
						660,
						60
					],
					"linecount": 4,
					"numinlets": 1,
					"numoutlets": 0
				}
			},
			{
				"box": {
					"id": "obj-2",
					"maxclass": "newobj",
					"text": "omber~ @role 0",
					"patching_rect": [
						20,
						180,
						120,
						22
					],
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"signal",
						"signal"
					]
				}
			},
			{
				"box": {
					"id": "obj-3",
					"maxclass": "message",
					"text": "connect 7400",
					"patching_rect": [
						20,
						100,
						82,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-4",
					"maxclass": "message",
					"text": "connect 7400 0123456789abcdef0123456789abcdef",
					"patching_rect": [
						110,
						100,
						280,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-5",
					"maxclass": "message",
					"text": "disconnect",
					"patching_rect": [
						380,
						100,
						70,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-6",
					"maxclass": "comment",
					"text": "connect <port> [<token>]: connect to the bridge (the token, when given, is sent first on every connection); disconnect: close it",
					"patching_rect": [
						20,
						130,
						600,
						20
					],
					"numinlets": 1,
					"numoutlets": 0
				}
			},
			{
				"box": {
					"id": "obj-7",
					"maxclass": "newobj",
					"text": "ezdac~",
					"patching_rect": [
						20,
						230,
						50,
						22
					],
					"numinlets": 2,
					"numoutlets": 0
				}
			},
			{
				"box": {
					"id": "obj-8",
					"maxclass": "newobj",
					"text": "cycle~ 220",
					"patching_rect": [
						360,
						200,
						80,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						"signal"
					]
				}
			},
			{
				"box": {
					"id": "obj-9",
					"maxclass": "newobj",
					"text": "omber~ @role 1 @capture 0",
					"patching_rect": [
						360,
						300,
						150,
						22
					],
					"numinlets": 2,
					"numoutlets": 2,
					"outlettype": [
						"signal",
						"signal"
					]
				}
			},
			{
				"box": {
					"id": "obj-10",
					"maxclass": "message",
					"text": "capture 1",
					"patching_rect": [
						360,
						250,
						50,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-11",
					"maxclass": "message",
					"text": "capture 0",
					"patching_rect": [
						430,
						250,
						50,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-12",
					"maxclass": "message",
					"text": "role 0",
					"patching_rect": [
						500,
						250,
						50,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-13",
					"maxclass": "message",
					"text": "role 1",
					"patching_rect": [
						550,
						250,
						50,
						22
					],
					"numinlets": 2,
					"numoutlets": 1,
					"outlettype": [
						""
					]
				}
			},
			{
				"box": {
					"id": "obj-14",
					"maxclass": "comment",
					"text": "capture 0/1: switch capture (the engine also switches it); @role 0 player, 1 feeder (clipped to 0..1); @capture sets the switch at creation",
					"patching_rect": [
						360,
						340,
						320,
						48
					],
					"linecount": 3,
					"numinlets": 1,
					"numoutlets": 0
				}
			},
			{
				"box": {
					"id": "obj-15",
					"maxclass": "newobj",
					"text": "ezdac~",
					"patching_rect": [
						360,
						400,
						50,
						22
					],
					"numinlets": 2,
					"numoutlets": 0
				}
			}
		],
		"lines": [
			{
				"patchline": {
					"source": [
						"obj-3",
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
						"obj-4",
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
						"obj-5",
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
						"obj-7",
						0
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
						"obj-7",
						1
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
						"obj-9",
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
						"obj-9",
						1
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
						"obj-9",
						0
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
						"obj-9",
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
						"obj-9",
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
						"obj-9",
						0
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
						"obj-15",
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
						"obj-15",
						1
					]
				}
			}
		]
	}
}
