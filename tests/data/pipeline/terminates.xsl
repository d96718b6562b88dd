<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:text>partial output</xsl:text>
    <xsl:message terminate="yes">No points with code XYZ in this job</xsl:message>
  </xsl:template>
</xsl:stylesheet>
