# Stand-ins for the runtime's own Rect and Bitmap classes, with just what the
# script uses: a Bitmap's size, rect and disposal.

class Rect
  attr_accessor :x, :y, :width, :height

  def initialize(x, y, width, height)
    @x = x
    @y = y
    @width = width
    @height = height
  end
end

class Bitmap
  attr_reader :width, :height

  def initialize(width, height)
    @width = width
    @height = height
    @disposed = false
  end

  def rect
    Rect.new(0, 0, @width, @height)
  end

  def dispose
    @disposed = true
  end

  def disposed?
    @disposed
  end
end
