var settings = { 
  "LOG" : "1",
  "window" : { 
    "left" : 4,
    "top" : 24,
    "width" : 640,
    "height" : 480,
    "fullscreen" : "0"
  },
  "gl" : { 
    "vsync" : "-1",
    "shader_life" : "60",
    "renderbuffer_life" : 120.500000
  },
  "theme_string" : "blackwhite,chilled",
  "scenes" : { 
    "tunnel" : { 
      "time" : 12.250000,
      "frames" : 735
    },
    "a&b" : { 
      "time" : 0.016000,
      "frames" : 1
    }
  },
  "messages" : { 
    "0" : "warn:JS Error: Error x in y\n",
    "1" : "!!! :out of \"memory\""
  }
};
