# The game runtime, as far as the script needs it, in a genuine Ruby 1.8:
# the native Bitmap and Rect of the extension rgss_runtime (a Bitmap laid
# out in memory as the host lays it out), the Win32API bridge, and then the
# script itself, evaluated at top level as a game evaluates the scripts of
# its editor.
#
# The bridge, unless one is defined already (the benchmark brings a
# do-nothing one): on Windows, Ruby's own Win32API extension, which loads
# vellora.dll from the current directory; on Linux, the Win32API of the
# standard library's dl, with the library that VELLORA_LIBRARY names
# (libvellora.so) standing in for vellora.dll.

require 'rgss_runtime'

unless defined?(Win32API)
  if RUBY_PLATFORM =~ /mingw|mswin/
    require 'Win32API'
  else
    require 'dl/win32'
    library = ENV['VELLORA_LIBRARY'] or raise 'VELLORA_LIBRARY names libvellora.so'
    # dl's Win32API opens each DLL by name once and keeps the handle here.
    Win32API::DLL['vellora'] = DL::Handle.new(library)
  end
end

VELLORA_SCRIPT = File.expand_path('../../vellora.rb', File.dirname(__FILE__))
eval(File.open(VELLORA_SCRIPT, 'rb') { |file| file.read }, TOPLEVEL_BINDING, 'vellora', 1)
