# What the script costs per call in Ruby 1.8: each Bitmap method with typical
# arguments against a bare Win32API#call with the arguments that method hands
# the bridge, through the same do-nothing Win32API, measured in one run.
#   scripts/bench-script.sh
# Runs in the Ruby 1.8.7 that set-up builds, with the native Bitmap and Rect
# of the tests' extension rgss_runtime on the load path.

# The do-nothing bridge: every call returns 0 (success) at once.
class Win32API
  def initialize(dll, name, import, export)
  end

  def call(*args)
    0
  end
end

require File.join(File.dirname(__FILE__), '../test/genuine/runtime')

# Stands in for an export's Win32API once, to learn what the method hands it.
class ArgumentRecorder
  attr_reader :args

  def call(*args)
    @args = args
    0
  end
end

CALLS_PER_TIMING = 200_000
ROUNDS = 7

# [method, call, export, the script's target ratio]
CASES = [
  ['blend_blt', 'bitmap.blend_blt(10, 20, source, rect, :normal, 255)', 'BlendBlt', 4],
  ['blur_box', 'bitmap.blur_box(2)', 'Blur', 3],
  ['mosaic', 'bitmap.mosaic(4, 4)', 'Mosaic', 3],
  ['change_tone', 'bitmap.change_tone(10, 20, 30)', 'ChangeTone', 3],
  ['invert', 'bitmap.invert', 'InvertColor', 3],
  ['clip_mask', 'bitmap.clip_mask(source, 16, 8, 255)', 'ClipMask', 4],
  ['pixel_data', 'bitmap.pixel_data', 'GetPixelData', 3],
  ['pixel_data=', 'bitmap.pixel_data = data', 'SetPixelData', 3],
  ['resize_cleared', 'bitmap.resize_cleared(32, 32)', 'ChangeSize', 3],
  ['save_png', "bitmap.save_png('shot.png')", 'PngSaveA', 3],
  ['pixel_address', 'bitmap.pixel_address', 'GetAddress', 3]
]

# Each timing is a method of its own, so that its loop reads method locals
# (a block's would cost a lookup each).
def define_timing(name, parameters, statement)
  Object.module_eval(<<-RUBY, __FILE__, __LINE__ + 1)
    def #{name}(#{(['calls'] + parameters).join(', ')})
      i = 0
      started = Time.now
      while i < calls
        #{statement}
        i += 1
      end
      Time.now - started
    end
  RUBY
end

def cpu_model
  line = File.readlines('/proc/cpuinfo').find { |l| l =~ /^model name/ } rescue nil
  line ? line.split(':', 2)[1].strip : 'unknown CPU'
end

bitmap = Bitmap.new(32, 32)
source = Bitmap.new(32, 32)
rect = Rect.new(0, 0, 32, 32)
data = "\0" * (32 * 32 * 4)
script_arguments = [bitmap, source, rect, data]

define_timing('time_empty_loop', [], '')
timings = CASES.map do |method, statement, export, target|
  script = "time_script_#{export}"
  define_timing(script, %w[bitmap source rect data], statement)
  send(script, 1, *script_arguments) # binds the export
  reader = Vellora::BINDING_NAMES[export]
  api = Vellora::BOUND.__send__(reader)
  recorder = ArgumentRecorder.new
  Vellora::BOUND.__send__(reader + '=', recorder)
  send(script, 1, *script_arguments)
  Vellora::BOUND.__send__(reader + '=', api)
  arguments = recorder.args
  names = (0...arguments.size).map { |i| "a#{i}" }
  bare = "time_bare_#{export}"
  define_timing(bare, ['api'] + names, "api.call(#{names.join(', ')})")
  [method, target, script, bare, api, arguments]
end

# The best of several rounds, script and bare call taking turns.
best = Hash.new { |hash, key| hash[key] = 1.0 / 0 }
ROUNDS.times do
  time = time_empty_loop(CALLS_PER_TIMING)
  best[:loop] = time if time < best[:loop]
  timings.each do |method, _, script, bare, api, arguments|
    time = send(script, CALLS_PER_TIMING, *script_arguments)
    best[script] = time if time < best[script]
    time = send(bare, CALLS_PER_TIMING, api, *arguments)
    best[bare] = time if time < best[bare]
  end
end

per_call = lambda { |seconds| seconds * 1e6 / CALLS_PER_TIMING }
loop_us = per_call.call(best[:loop])
puts "Ruby #{RUBY_VERSION}-p#{RUBY_PATCHLEVEL} [#{RUBY_PLATFORM}], #{cpu_model}; " +
     "#{CALLS_PER_TIMING} calls per timing, best of #{ROUNDS}; the empty loop costs " +
     format('%.3f us', loop_us) + ' per call'
puts
puts '| method | script | bare Win32API#call | ratio | target | ratio less the loop |'
puts '|---|---:|---:|---:|---:|---:|'
timings.each do |method, target, script, bare|
  script_us = per_call.call(best[script])
  bare_us = per_call.call(best[bare])
  ratio = script_us / bare_us
  net = (script_us - loop_us) / (bare_us - loop_us)
  printf("| %s | %.3f us | %.3f us | %.2f | %s %d | %.2f |\n", method, script_us, bare_us,
         ratio, ratio <= target ? '<=' : 'NOT <=', target, net)
end
